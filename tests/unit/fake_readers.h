// Readers "attached" for the method logic: each identity opens a new
// connection to a simulated reader over a socket pair, as reopening a real
// reader would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "control/control_methods.h"
#include "device/posix/socket_report_link.h"
#include "sim/reader_simulator.h"

class FakeReaders {
public:
    void Attach(uint16_t vendorId, uint16_t productId, Responder responder, uint16_t reportLen = 65) {
        std::lock_guard<std::mutex> lock(mutex_);
        attached_[{vendorId, productId}] = {std::move(responder), reportLen};
    }
    void Detach(uint16_t vendorId, uint16_t productId) {
        std::lock_guard<std::mutex> lock(mutex_);
        attached_.erase({vendorId, productId});
    }

    ReaderOpener Opener() {
        return [this](uint16_t vendorId, uint16_t productId) { return Open(vendorId, productId); };
    }

    // The simulator behind the most recent open, or null.
    ReaderSimulator* Last() {
        std::lock_guard<std::mutex> lock(mutex_);
        return simulators_.empty() ? nullptr : simulators_.back().get();
    }
    size_t Opens() {
        std::lock_guard<std::mutex> lock(mutex_);
        return simulators_.size();
    }
    std::vector<std::pair<uint16_t, uint16_t>> Asked() {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }

private:
    HidDevicePtr Open(uint16_t vendorId, uint16_t productId) {
        std::lock_guard<std::mutex> lock(mutex_);
        asked_.emplace_back(vendorId, productId);
        auto it = attached_.find({vendorId, productId});
        if (it == attached_.end()) return nullptr;
        auto [host, reader] = MakeSocketLinkPair();
        simulators_.push_back(
            std::make_unique<ReaderSimulator>(std::move(reader), it->second.reportLen, it->second.responder));
        return MakeHidDevice("fake", std::move(host), it->second.reportLen);
    }

    struct Attached {
        Responder responder;
        uint16_t reportLen;
    };
    std::mutex mutex_;
    std::map<std::pair<uint16_t, uint16_t>, Attached> attached_;
    std::vector<std::unique_ptr<ReaderSimulator>> simulators_;
    std::vector<std::pair<uint16_t, uint16_t>> asked_;
};

// Takes DevCallAsync answers as the control's thread does: only while the
// test waits for them (as a page's thread only while it pumps messages),
// after the control has woken it.
class DeliveredAnswers {
public:
    AsyncAnswerWake Wake() {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            ++wakes_;
            woken_.notify_all();
        };
    }
    // Takes answers until `count` have arrived; false after `timeoutMs`.
    bool WaitFor(ControlMethods& control, size_t count, int timeoutMs = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            const uint64_t seen = wakes_;
            lock.unlock();
            while (auto answer = control.TakeAsyncAnswer()) {
                std::lock_guard<std::mutex> taking(mutex_);
                answers_.push_back(std::move(*answer));
            }
            lock.lock();
            if (answers_.size() >= count) return true;
            if (!woken_.wait_until(lock, deadline, [&] { return wakes_ != seen; })) return false;
        }
    }
    std::vector<std::string> All() {
        std::lock_guard<std::mutex> lock(mutex_);
        return answers_;
    }
    uint64_t Wakes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return wakes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    uint64_t wakes_ = 0;
    std::vector<std::string> answers_;
};
