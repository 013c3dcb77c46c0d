// A fixture for tests against the simulated readers behind the fake
// setupapi.dll and hid.dll. Every test starts with no reader and must end
// having given everything back: reader handles, device information sets
// and preparsed data.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_framing.h"
#include "tools/fakehid/veldorinsim.h"

class SimulatedReaders : public ::testing::Test {
protected:
    void SetUp() override { VeldorinSim_Clear(); }

    void TearDown() override {
        EXPECT_EQ(VeldorinSim_OpenDeviceInfoSets(), 0) << "device information sets not destroyed";
        EXPECT_EQ(VeldorinSim_OpenPreparsedData(), 0) << "preparsed data not freed";
        EXPECT_TRUE(VeldorinSim_WaitForOpenHandles(0, 5000))
            << VeldorinSim_OpenHandles() << " reader handles still open";
        VeldorinSim_Clear();
    }

    static int Attach(const char* line) {
        const int id = VeldorinSim_Attach(line);
        EXPECT_GT(id, 0) << "not a reader: " << line;
        return id;
    }

    static std::string PathOf(int reader) {
        char path[256] = {};
        EXPECT_GT(VeldorinSim_DevicePath(reader, path, sizeof(path)), 0);
        return path;
    }

    static std::vector<Bytes> Received(int reader) {
        std::vector<Bytes> messages;
        for (int i = 0; i < VeldorinSim_ReceivedCount(reader); ++i) {
            Bytes message(64 * 1024);
            const int length = VeldorinSim_Received(reader, i, message.data(), static_cast<int>(message.size()));
            message.resize(length < 0 ? 0 : length);
            messages.push_back(std::move(message));
        }
        return messages;
    }

    // The readers' ends run on threads of their own: what they see of the
    // client's last call shows up a moment later.
    template <typename Condition>
    static bool Eventually(Condition condition, int timeoutMs = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    static std::string Problems(int reader) {
        char text[4096] = {};
        EXPECT_GE(VeldorinSim_Problems(reader, text, sizeof(text)), 0);
        return text;
    }
};
