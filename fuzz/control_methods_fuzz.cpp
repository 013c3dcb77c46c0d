// The control's methods with arbitrary text arguments against a reader that
// answers with arbitrary reports.
#include <cstdlib>
#include <memory>
#include <string>

#include "control/control_methods.h"
#include "device/download_ca.h"
#include "fuzz_input.h"
#include "sim/memory_report_link.h"

namespace {

std::string Text(FuzzInput& input) {
    const uint16_t length = input.Word() % 6000;
    std::string text;
    for (uint16_t i = 0; i < length; ++i) text.push_back(static_cast<char>(input.Byte()));
    return text;
}

bool IsCaResult(int32_t result) {
    switch (result) {
        case kCaLoaded:
        case kCaRefused:
        case kCaBadVariant:
        case kCaSendFailed:
        case kCaReceiveFailed:
        case kCaBadAnswer:
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint16_t reportLen = FuzzInput::ReportLength(input.Byte());
    const uint8_t operations = input.Byte() % 8;
    std::vector<std::pair<uint8_t, std::string>> calls;
    for (uint8_t i = 0; i < operations; ++i) {
        const uint8_t op = input.Byte();
        calls.emplace_back(op, Text(input));
    }
    const std::vector<Report> answers = input.Reports(reportLen);

    ControlMethods control(
        [&](uint16_t, uint16_t) {
            return MakeHidDevice("fuzz", std::make_unique<MemoryReportLink>(answers), reportLen);
        },
        [] {});

    int32_t handle = 0;
    for (const auto& [op, text] : calls) {
        switch (op % 7) {
            case 0:
                handle = control.DevOpen();
                break;
            case 1:
                control.DevClose(op & 0x80 ? handle : static_cast<int32_t>(text.size()));
                break;
            case 2:
                if (control.DevCall(text.c_str()).size() > 4 * ((kMessageBufferSize + 2) / 3)) std::abort();
                break;
            case 3:
                control.DevCallAsync(op & 0x80 ? nullptr : text.c_str());
                while (auto answer = control.TakeAsyncAnswer()) {
                    if (answer->size() > 4 * ((kMessageBufferSize + 2) / 3)) std::abort();
                }
                break;
            case 4:
                if (!IsCaResult(control.LoadCA(static_cast<int8_t>(op) >> 4, text.c_str()))) std::abort();
                break;
            case 5:
                (void)control.GetX509ValidDate(text.c_str());
                break;
            case 6:
                (void)control.GetX509Sn(text.c_str());
                break;
        }
    }
    return 0;
}
