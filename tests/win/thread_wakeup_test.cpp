// The framework's thread wake-up: a wake-up whose message could not be
// posted still reaches the owning thread while it watches, and the timer
// that stands in for it ends with the watch.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/thread_wakeup.h"
#include "tests/win/ocx_client.h"

namespace veldorinctl::test {
namespace {

TEST(ThreadWakeup, AWakeUpThatCouldNotBePostedArrivesWhileWatched) {
    std::atomic<int> posts{0};
    int woken = 0;
    // Every post fails, as on a thread whose message queue is full.
    CThreadWakeup wakeup([&] { ++woken; },
                         [&](HWND, UINT, WPARAM, LPARAM) -> BOOL {
                             ++posts;
                             return FALSE;
                         });
    wakeup.Watch(true);
    std::thread([&] { wakeup.Wake(); }).join();
    EXPECT_EQ(posts, 1);
    ASSERT_TRUE(PumpUntil([&] { return woken >= 1; }, 2000));

    wakeup.Watch(false);
    const int before = woken;
    PumpUntil([] { return false; }, 3 * CThreadWakeup::kWatchIntervalMs);
    EXPECT_EQ(woken, before) << "no wake-ups once nothing is watched";
}

}  // namespace
}  // namespace veldorinctl::test
