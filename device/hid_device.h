// One open reader: its interface path, its report channel, the report length
// and the two report areas the framing works in.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/report_link.h"

// Report lengths (report identifier included) that the framing can carry:
// at least one payload byte, and a count that fits the control byte's six bits.
constexpr uint16_t kMinReportLen = 3;
constexpr uint16_t kMaxReportLen = 65;
constexpr size_t kReportAreaSize = 130;

// The part of the platform's interface record that outlives discovery.
struct HidInterfaceDetail {
    std::string DevicePath;
};

struct HidDevice {
    std::unique_ptr<HidInterfaceDetail> pDetail;
    std::unique_ptr<ReportLink> hDevice;
    uint16_t nReportLen = 0;
    std::array<uint8_t, kReportAreaSize> outReport{};
    std::array<uint8_t, kReportAreaSize> inReport{};
};

using HidDevicePtr = std::unique_ptr<HidDevice>;

constexpr bool IsReaderReportLength(uint32_t length) {
    return length >= kMinReportLen && length <= kMaxReportLen;
}

// Wraps an open link as a reader. Returns null (and drops the link) when the
// report length is one the framing cannot carry: such a device is no reader.
HidDevicePtr MakeHidDevice(std::string devicePath, std::unique_ptr<ReportLink> link, uint16_t reportLen);

// Closes the reader's channel and frees the record. Equivalent to letting the
// pointer go; named so that call sites read as what they do.
void CloseHidDevice(HidDevicePtr device);
