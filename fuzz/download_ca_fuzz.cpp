// DownloadCA against arbitrary answers from the reader.
#include <cstdlib>
#include <memory>
#include <vector>

#include "device/download_ca.h"
#include "fuzz_input.h"
#include "sim/memory_report_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint16_t reportLen = FuzzInput::ReportLength(input.Byte());
    const int32_t flag = static_cast<int8_t>(input.Byte()) % 4;
    const uint32_t length = input.Word() % (kMaxCaLength + 200);
    const std::vector<uint8_t> certificate(length, 0xA5);

    auto link = std::make_unique<MemoryReportLink>(input.Reports(reportLen));
    MemoryReportLink* reports = link.get();
    HidDevicePtr device = MakeHidDevice("fuzz", std::move(link), reportLen);
    const int32_t result = DownloadCA(*device, flag, certificate.data(), length);

    switch (result) {
        case kCaBadVariant:
            if (flag == 1 || flag == 2 || !reports->Written().empty()) std::abort();
            break;
        case kCaLoaded:
        case kCaRefused:
        case kCaSendFailed:
        case kCaReceiveFailed:
        case kCaBadAnswer:
            break;
        default:
            std::abort();
    }
    if ((length == 0 || length > kMaxCaLength) && !reports->Written().empty()) std::abort();
    return 0;
}
