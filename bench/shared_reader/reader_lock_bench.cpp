// What taking turns on a shared reader costs, under Wine or on Windows: a
// measurement, not a test.
//
//   reader_lock_bench lock CALLS
//       the lock's own work for one exchange, uncontended: take the reader's
//       named lock, look at its shared state, mark an answer owed, clear
//       the mark, release; the median, 99th percentile and mean per exchange
//   reader_lock_bench exchanges CALLS BYTES [private]
//       CALLS exchanges of BYTES-byte commands with the reader 155B:4612 (a
//       shared simulated reader under Wine), each in its turn under the
//       reader's named lock as the control takes it, or, with "private",
//       under a lock of this process alone (the control before readers were
//       shared); prints the time per exchange
//
// bench/shared_reader/run runs both, with one page and with 2 and 4 at once.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/microseconds.h"
#include "control/reader_connection.h"
#include "device/in_process_reader_lock.h"
#include "device/win32/hid_discovery.h"
#include "device/win32/named_reader_lock.h"

namespace {

int LockOnly(int calls) {
    const std::string path = "\\\\?\\hid#lock-bench-" + std::to_string(::GetCurrentProcessId());
    auto lock = OpenNamedReaderLock(path);
    if (!lock) return 1;
    std::vector<double> times;
    times.reserve(static_cast<size_t>(calls));
    for (int call = 0; call < calls; ++call) {
        const double started = Microseconds();
        if (lock->Acquire(std::nullopt) != LockWait::Taken) return 1;
        SharedReaderState& state = lock->State();
        if (state.owedSince != 0) return 1;
        state = SharedReaderState{lock->Now(), lock->Id()};  // before the command
        state = SharedReaderState{};                         // after the answer
        lock->Release();
        times.push_back(Microseconds() - started);
    }
    double total = 0;
    for (double time : times) total += time;
    std::sort(times.begin(), times.end());
    std::printf("lock: %d turns, median %.1f us, p99 %.1f us, mean %.1f us per exchange\n", calls,
                times[times.size() / 2], times[times.size() * 99 / 100], total / calls);
    return 0;
}

int Exchanges(int calls, int bytes, bool privateLock) {
    HidDevicePtr device = OpenHidDevice(0x155B, 0x4612);
    if (!device) {
        std::fputs("reader_lock_bench: no reader 155B:4612\n", stderr);
        return 1;
    }
    std::unique_ptr<ReaderLock> lock =
        privateLock ? MakePrivateReaderLock() : OpenNamedReaderLock(device->pDetail->DevicePath);
    ReaderConnection connection(std::move(device), 1, ExchangeTimeout::zero(), std::move(lock));
    std::vector<uint8_t> command(static_cast<size_t>(bytes));
    for (size_t i = 0; i < command.size(); ++i) command[i] = static_cast<uint8_t>(i * 7 + 1);
    std::vector<uint8_t> answer(4096);
    const double started = Microseconds();
    for (int call = 0; call < calls; ++call) {
        const uint32_t length = connection.Exchange(command.data(), static_cast<uint32_t>(command.size()),
                                                    answer.data(), static_cast<uint32_t>(answer.size()));
        if (length != command.size() || std::memcmp(answer.data(), command.data(), length) != 0) {
            std::fprintf(stderr, "reader_lock_bench: exchange %d was not answered with its own echo\n", call);
            return 1;
        }
    }
    const double ms = (Microseconds() - started) / 1000;
    std::printf("exchanges: %d of %d bytes in %.0f ms: %.3f ms per exchange, %.1f exchanges/s (%s lock)\n", calls,
                bytes, ms, ms / calls, calls * 1000.0 / ms, privateLock ? "private" : "shared");
    return 0;
}

}  // namespace

int main(int count, char** arguments) {
    const std::string mode = count > 1 ? arguments[1] : "";
    const int calls = count > 2 ? std::atoi(arguments[2]) : 0;
    if (mode == "lock" && calls > 0) return LockOnly(calls);
    const int bytes = count > 3 ? std::atoi(arguments[3]) : 0;
    if (mode == "exchanges" && calls > 0 && bytes > 0 && bytes <= 4096)
        return Exchanges(calls, bytes, count > 4 && std::strcmp(arguments[4], "private") == 0);
    std::fputs("usage: reader_lock_bench lock CALLS | exchanges CALLS BYTES [private]\n", stderr);
    return 2;
}
