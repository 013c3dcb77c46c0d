// ReadHidMessage over an arbitrary stream of reports from a hostile reader.
#include <cstdlib>
#include <memory>

#include "device/hid_framing.h"
#include "fuzz_input.h"
#include "sim/memory_report_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint16_t reportLen = FuzzInput::ReportLength(input.Byte());
    const uint32_t capacity = input.Word() % 4100;
    auto link = std::make_unique<MemoryReportLink>(input.Reports(reportLen));
    MemoryReportLink* reports = link.get();
    HidDevicePtr device = MakeHidDevice("fuzz", std::move(link), reportLen);

    auto buffer = std::make_unique<uint8_t[]>(capacity + 1);
    while (reports->ReportsLeft() > 0) {
        uint32_t count = 0xFFFFFFFF;
        const size_t before = reports->ReportsRead();
        const bool complete = ReadHidMessage(*device, buffer.get(), capacity, count);
        if (count > capacity || (complete && reports->ReportsRead() < before + 2)) std::abort();
        if (!complete && reports->ReportsLeft() > 0 && count != 0) std::abort();
    }
    return 0;
}
