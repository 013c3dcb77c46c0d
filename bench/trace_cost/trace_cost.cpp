// What the trace costs one DevCall, under Wine or on Windows: a measurement,
// not a test.
//
// DevCall runs on the control's method logic against a reader that answers
// at once (an echo held in memory, so that nothing but the call itself is
// timed), with the control's own trace (ControlTrace, writing its file in
// the temporary folder) off and at levels 1, 2 and 3. The difference from
// "off" is what the trace adds to each call; a real reader's USB traffic
// comes on top of both.
//
//   trace_cost [CALLS]     (default 20000)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "bench/microseconds.h"
#include "codec/base64.h"
#include "control/control_methods.h"
#include "trace/win32/control_trace.h"
#include "win32/utf8_text.h"

namespace {

// A reader that answers each command with the command, as soon as it is
// written: every report written is read back in turn.
class InstantEcho final : public ReportLink {
public:
    bool WriteReport(const uint8_t* report, size_t length) override {
        reports_.emplace_back(report, report + length);
        return true;
    }
    bool ReadReport(uint8_t* report, size_t length) override {
        if (reports_.empty() || reports_.front().size() != length) return false;
        std::copy(reports_.front().begin(), reports_.front().end(), report);
        reports_.pop_front();
        return true;
    }
    void Cancel() override {}

private:
    std::deque<std::vector<uint8_t>> reports_;
};

// The best of five runs of `calls` DevCalls, in microseconds per call: the
// run least disturbed by the rest of the machine.
double PerCall(TraceLevel level, const std::string& folder, const std::string& command, int calls) {
    ControlTrace trace(TraceSettings{level, folder});
    ControlMethods methods(
        [](uint16_t, uint16_t) { return MakeHidDevice("instant", std::make_unique<InstantEcho>(), 65); }, [] {});
    methods.SetTrace(&trace);
    if (methods.DevOpen() == 0) std::abort();
    for (int i = 0; i < calls / 10; ++i) methods.DevCall(command.c_str());  // warm up
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        const double start = Microseconds();
        for (int i = 0; i < calls; ++i)
            if (methods.DevCall(command.c_str()) != command) std::abort();
        best = std::min(best, (Microseconds() - start) / calls);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::string folder = WideToUtf8(temp) + "veldorinctl-trace-cost";
    std::printf("DevCall against a reader that answers at once, %d calls, best of 5 runs (trace in %s)\n", calls,
                folder.c_str());
    for (const uint32_t bytes : {16u, 4096u}) {
        std::vector<uint8_t> raw(bytes);
        for (uint32_t i = 0; i < bytes; ++i) raw[i] = static_cast<uint8_t>(i * 7);
        const std::string command = Base64().Encode(raw.data(), bytes);
        const int n = bytes > 1000 ? calls / 20 : calls;
        const double off = PerCall(TraceLevel::Off, folder, command, n);
        std::printf("%5u-byte command: off %.2f us", bytes, off);
        for (const TraceLevel level : {TraceLevel::Errors, TraceLevel::Calls, TraceLevel::Bytes}) {
            const double traced = PerCall(level, folder, command, n);
            std::printf(", level %d %.2f us (%+.2f)", static_cast<int>(level), traced, traced - off);
        }
        std::printf("\n");
    }
    return 0;
}
