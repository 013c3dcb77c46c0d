// Ends the process when the page takes longer than it may: a page stuck in
// a call (or a script that never returns) cannot be stopped from its own
// thread, so a second thread keeps the time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace pagehost {

class Watchdog {
public:
    Watchdog();
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // From now, `limit` for the next phase; past it `message` goes to
    // stderr and the process ends with `exitCode`.
    void Arm(std::chrono::milliseconds limit, std::string message, int exitCode);
    void Disarm();

private:
    void Watch();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point deadline_;
    std::string message_;
    int exitCode_ = 0;
    std::thread thread_;
};

}  // namespace pagehost
