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
// Each report area is 130 bytes, as the record has always laid them out:
// twice the longest report the framing carries (kMaxReportLen), so any
// report a reader may use fits with room to spare.
constexpr size_t kReportAreaSize = 130;
static_assert(kReportAreaSize >= kMaxReportLen);

// The part of the platform's interface record that outlives discovery.
struct HidInterfaceDetail {
    std::string DevicePath;
};

struct HidDevice;

// Closes the reader's report link, then frees its interface record and the
// record itself, in this order. The record must not be used afterwards.
// Null is ignored.
void CloseHidDevice(HidDevice* device);

// An open reader is released through CloseHidDevice, and only through it.
struct HidDeviceCloser {
    void operator()(HidDevice* device) const { CloseHidDevice(device); }
};
using HidDevicePtr = std::unique_ptr<HidDevice, HidDeviceCloser>;

// The field names are the record's own; what each holds:
struct HidDevice {
    // The reader's HID interface: the path it was opened on.
    std::unique_ptr<HidInterfaceDetail> pDetail;
    // The open report link to the reader (a file handle on Windows, a socket
    // or an in-memory simulator elsewhere); not an OS handle itself.
    std::unique_ptr<ReportLink> hDevice;
    // The length L in bytes of every report in both directions, report
    // identifier included (kMinReportLen..kMaxReportLen).
    uint16_t nReportLen = 0;
    // Where each output report is assembled; the first L bytes are sent.
    std::array<uint8_t, kReportAreaSize> outReport{};
    // Where each input report is received; the first L bytes are used.
    std::array<uint8_t, kReportAreaSize> inReport{};
};

constexpr bool IsReaderReportLength(uint32_t length) {
    return length >= kMinReportLen && length <= kMaxReportLen;
}

// Wraps an open link as a reader. Returns null (and drops the link) when the
// report length is one the framing cannot carry: such a device is no reader.
HidDevicePtr MakeHidDevice(std::string devicePath, std::unique_ptr<ReportLink> link, uint16_t reportLen);
