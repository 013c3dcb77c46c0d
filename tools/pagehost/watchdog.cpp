#include "tools/pagehost/watchdog.h"

#include <windows.h>

#include <cstdio>

namespace pagehost {

Watchdog::Watchdog() : thread_([this] { Watch(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Watchdog::Arm(std::chrono::milliseconds limit, std::string message, int exitCode) {
    {
        std::lock_guard lock(mutex_);
        armed_ = true;
        deadline_ = std::chrono::steady_clock::now() + limit;
        message_ = std::move(message);
        exitCode_ = exitCode;
    }
    changed_.notify_all();
}

void Watchdog::Disarm() {
    {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }
    changed_.notify_all();
}

void Watchdog::Watch() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_) return;
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ && !stopping_ &&
            std::chrono::steady_clock::now() >= deadline_) {
            std::fprintf(stderr, "pagehost: %s\n", message_.c_str());
            std::fflush(stderr);
            std::fflush(stdout);
            // Not ExitProcess: the page's thread may hold locks that the
            // DLLs' detach would wait for.
            TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode_));
        }
    }
}

}  // namespace pagehost
