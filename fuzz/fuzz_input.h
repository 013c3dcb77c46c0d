// Carves a fuzzer's bytes into the pieces a target needs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/hid_device.h"
#include "sim/sim_framing.h"

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }

    // The rest, cut into reports of `length` bytes (a short tail is dropped).
    std::vector<Report> Reports(uint16_t length) {
        std::vector<Report> reports;
        while (size_ - offset_ >= length) {
            reports.emplace_back(data_ + offset_, data_ + offset_ + length);
            offset_ += length;
        }
        return reports;
    }

    static uint16_t ReportLength(uint8_t byte) {
        return static_cast<uint16_t>(kMinReportLen + byte % (kMaxReportLen - kMinReportLen + 1));
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};
