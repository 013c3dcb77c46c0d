// Messages, the CA download and the faults of a reader, through the real
// FileReportLink (overlapped WriteFile/ReadFile on the opened interface)
// against simulated readers on named pipes.
#include <future>

#include "device/download_ca.h"
#include "device/hid_framing.h"
#include "device/win32/hid_discovery.h"
#include "sim/responders.h"
#include "tests/win/simulated_readers.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kAnswerCapacity = 4096;

class Exchange : public SimulatedReaders {
protected:
    // Attaches a reader of identity 155B:4612 and opens it.
    HidDevicePtr Open(const std::string& lengthAndBehaviour) {
        reader_ = Attach(("155B 4612 " + lengthAndBehaviour).c_str());
        HidDevicePtr device = OpenHidDevice(0x155B, 0x4612);
        EXPECT_NE(device, nullptr) << lengthAndBehaviour;
        return device;
    }

    struct Answer {
        bool complete;
        Bytes bytes;
    };
    static Answer Read(HidDevice& device, uint32_t capacity = kAnswerCapacity) {
        Bytes buffer(capacity);
        uint32_t count = 0;
        const bool complete = ReadHidMessage(device, buffer.data(), capacity, count);
        buffer.resize(count);
        return {complete, buffer};
    }
    static Answer Call(HidDevice& device, const Bytes& command, uint32_t capacity = kAnswerCapacity) {
        if (!WriteHidMessage(device, command.data(), static_cast<uint32_t>(command.size()))) return {false, {}};
        return Read(device, capacity);
    }

    // Runs a read on another thread; the test decides how it ends.
    static std::future<Answer> ReadInBackground(HidDevice& device) {
        return std::async(std::launch::async, [&device] { return Read(device); });
    }

    int reader_ = 0;
};

TEST_F(Exchange, MessagesOfEveryShapeCrossWholeBothWays) {
    for (const char* length : {"65", "33", "3"}) {
        HidDevicePtr device = Open(std::string(length) + " echo");
        ASSERT_NE(device, nullptr);
        std::vector<Bytes> sent;
        for (uint32_t size : {1u, 62u, 63u, 64u, 126u, 127u, 134u, 4096u}) {
            // With one byte a report, 4096 bytes show nothing new, slowly.
            if (size == 4096 && std::string(length) == "3") continue;
            const Bytes command = sim::PatternBytes(size + 1);
            sent.push_back(Bytes(command.begin() + 1, command.end()));
            const Answer answer = Call(*device, sent.back());
            EXPECT_TRUE(answer.complete) << "L=" << length << " size " << size;
            EXPECT_EQ(answer.bytes, sent.back()) << "L=" << length << " size " << size;
        }
        EXPECT_EQ(Received(reader_), sent) << "L=" << length;
        CloseHidDevice(device.release());
        VeldorinSim_Unplug(reader_);
    }
}

TEST_F(Exchange, StrayReportsBeforeTheAnswerAreSkipped) {
    HidDevicePtr device = Open("65 stray 3 fixed 9000");
    ASSERT_NE(device, nullptr);
    const Answer answer = Call(*device, {0x00, 0xA4});
    EXPECT_TRUE(answer.complete);
    EXPECT_EQ(answer.bytes, (Bytes{0x90, 0x00}));
}

TEST_F(Exchange, AnAnswerTooLongIsRefusedAndTheNextOneIsInStep) {
    HidDevicePtr device = Open("65 length 5000");
    ASSERT_NE(device, nullptr);
    const Answer refused = Call(*device, {0x01});
    EXPECT_FALSE(refused.complete);
    EXPECT_TRUE(refused.bytes.empty());

    const Answer next = Call(*device, {0x02}, 8192);
    EXPECT_TRUE(next.complete);
    EXPECT_EQ(next.bytes, sim::PatternBytes(5000));
}

TEST_F(Exchange, AReportClaimingMoreThanItHoldsIsRefusedAndTheNextAnswerIsItsOwn) {
    HidDevicePtr device = Open("33 count-over then echo");
    ASSERT_NE(device, nullptr);
    const Answer refused = Call(*device, {0x01});
    EXPECT_FALSE(refused.complete);
    EXPECT_TRUE(refused.bytes.empty());

    const Answer next = Call(*device, {0x02, 0x03});
    EXPECT_TRUE(next.complete);
    EXPECT_EQ(next.bytes, (Bytes{0x02, 0x03}));
}

TEST_F(Exchange, AnAnswerThatNeverEndsIsGivenUp) {
    HidDevicePtr device = Open("65 endless");
    ASSERT_NE(device, nullptr);
    const Answer answer = Call(*device, {0x01});
    EXPECT_FALSE(answer.complete);
    EXPECT_TRUE(answer.bytes.empty());
}

TEST_F(Exchange, UnplugInTheMiddleOfAnAnswerKeepsWhatArrived) {
    HidDevicePtr device = Open("65 unplug-after 1 length 200");
    ASSERT_NE(device, nullptr);
    const Answer answer = Call(*device, {0x01});
    EXPECT_FALSE(answer.complete);
    EXPECT_EQ(answer.bytes, sim::PatternBytes(63)) << "the first report's bytes";

    const Bytes command{0x02};
    EXPECT_FALSE(WriteHidMessage(*device, command.data(), 1)) << "the reader is gone";
    EXPECT_EQ(VeldorinSim_Present(reader_), 0);
    EXPECT_EQ(OpenHidDevice(0x155B, 0x4612), nullptr);
}

TEST_F(Exchange, UnplugFailsAReadThatIsWaiting) {
    HidDevicePtr device = Open("65 silent");
    ASSERT_NE(device, nullptr);
    const Bytes command{0x01};
    ASSERT_TRUE(WriteHidMessage(*device, command.data(), 1));
    auto pending = ReadInBackground(*device);
    ASSERT_EQ(pending.wait_for(100ms), std::future_status::timeout) << "a silent reader gave an answer";

    VeldorinSim_Unplug(reader_);
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(pending.get().complete);
}

TEST_F(Exchange, CancelFailsAWaitingReadAndEveryLaterOne) {
    HidDevicePtr device = Open("65 silent");
    ASSERT_NE(device, nullptr);
    const Bytes command{0x01};
    ASSERT_TRUE(WriteHidMessage(*device, command.data(), 1));
    auto pending = ReadInBackground(*device);
    ASSERT_EQ(pending.wait_for(100ms), std::future_status::timeout);

    device->hDevice->Cancel();
    if (pending.wait_for(10s) != std::future_status::ready) {
        VeldorinSim_Unplug(reader_);  // let the thread go before failing
        FAIL() << "the cancelled read did not end";
    }
    EXPECT_FALSE(pending.get().complete);
    EXPECT_FALSE(WriteHidMessage(*device, command.data(), 1));
    EXPECT_FALSE(Read(*device).complete);
    // Only now, with no thread in it, may the device go.
    CloseHidDevice(device.release());
}

TEST_F(Exchange, AReopenedReaderNeverHandsOnAnAnswerMeantForTheOldHandle) {
    HidDevicePtr device = Open("65 delay 300 echo");
    ASSERT_NE(device, nullptr);
    const Bytes first{0x0F, 0x01};
    ASSERT_TRUE(WriteHidMessage(*device, first.data(), 2));
    auto pending = ReadInBackground(*device);
    ASSERT_EQ(pending.wait_for(50ms), std::future_status::timeout);
    device->hDevice->Cancel();
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(pending.get().complete);
    CloseHidDevice(device.release());

    // The old answer is due while the new handle waits for its own.
    device = OpenHidDevice(0x155B, 0x4612);
    ASSERT_NE(device, nullptr);
    const Bytes second{0x0F, 0x02};
    const Answer answer = Call(*device, second);
    EXPECT_TRUE(answer.complete);
    EXPECT_EQ(answer.bytes, second);
    EXPECT_EQ(Received(reader_), (std::vector<Bytes>{first, second}));
}

TEST_F(Exchange, DownloadCaEndToEnd) {
    const Bytes certificate = sim::PatternBytes(4096);
    HidDevicePtr device = Open("65 ca 1");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(DownloadCA(*device, 1, certificate.data(), 4096), kCaLoaded);
    EXPECT_EQ(Problems(reader_), "");

    const std::vector<Bytes> blocks = Received(reader_);
    ASSERT_EQ(blocks.size(), 32u);
    Bytes loaded;
    for (const Bytes& block : blocks) loaded.insert(loaded.end(), block.begin() + 5, block.end() - 1);
    EXPECT_EQ(loaded, certificate);
    EXPECT_EQ(blocks[30][3], 0x78);
    EXPECT_EQ(blocks[31][3], 0xFC);
}

TEST_F(Exchange, DownloadCaReportsTheReadersRefusals) {
    const Bytes certificate = sim::PatternBytes(300);  // three blocks
    struct Case {
        const char* reader;
        int32_t result;
        int blocksSent;
    };
    for (const Case& c : {Case{"ca 2 refuse 2", kCaRefused, 3}, Case{"ca 2 refuse 0", kCaBadAnswer, 1},
                          Case{"ca 2 wrong-length 1", kCaBadAnswer, 2}}) {
        HidDevicePtr device = Open(std::string("65 ") + c.reader);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(DownloadCA(*device, 2, certificate.data(), 300), c.result) << c.reader;
        EXPECT_EQ(VeldorinSim_ReceivedCount(reader_), c.blocksSent) << c.reader;
        EXPECT_EQ(Problems(reader_), "") << c.reader;
        CloseHidDevice(device.release());
        VeldorinSim_Unplug(reader_);
    }
}

}  // namespace
