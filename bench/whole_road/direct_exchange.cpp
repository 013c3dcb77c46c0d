// The floor for a DevCall: the same report exchange the control makes for
// one command, done directly by a native program over the same simulated
// reader's pipe, with no script, no automation and no Base64.
//
//   direct_exchange CALLS COMMAND_BYTES
//
// Prints "direct: N calls of B bytes in T ms: R calls/s".
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "device/hid_framing.h"
#include "device/win32/hid_discovery.h"

int main(int count, char** arguments) {
    const int calls = count > 1 ? std::atoi(arguments[1]) : 2000;
    const int bytes = count > 2 ? std::atoi(arguments[2]) : 16;
    if (calls <= 0 || bytes <= 0 || bytes > 4096) {
        std::fputs("usage: direct_exchange CALLS COMMAND_BYTES (1..4096)\n", stderr);
        return 2;
    }
    HidDevicePtr reader = OpenHidDevice(0x155B, 0x4612);
    if (!reader) {
        std::fputs("direct: no reader 155B:4612\n", stderr);
        return 1;
    }
    std::vector<uint8_t> command(static_cast<size_t>(bytes));
    for (size_t i = 0; i < command.size(); ++i) command[i] = static_cast<uint8_t>(i * 7 + 1);
    std::vector<uint8_t> answer(4096);
    const auto started = std::chrono::steady_clock::now();
    for (int call = 0; call < calls; ++call) {
        uint32_t received = 0;
        if (!WriteHidMessage(*reader, command.data(), static_cast<uint32_t>(command.size())) ||
            !ReadHidMessage(*reader, answer.data(), static_cast<uint32_t>(answer.size()), received) ||
            received != command.size()) {
            std::fprintf(stderr, "direct: exchange %d failed\n", call);
            return 1;
        }
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    std::printf("direct: %d calls of %d bytes in %.0f ms: %.0f calls/s\n", calls, bytes, ms, calls * 1000.0 / ms);
    CloseHidDevice(reader.release());
    return 0;
}
