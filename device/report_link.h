// One open report channel to a reader: the only thing the framing needs of
// the platform. Each call moves exactly one whole report, like a HID handle.
#pragma once

#include <cstddef>
#include <cstdint>

class ReportLink {
public:
    virtual ~ReportLink() = default;

    // Writes one report; blocks until it is written. False on failure.
    virtual bool WriteReport(const uint8_t* report, size_t length) = 0;

    // Reads one report of exactly `length` bytes; blocks without a time limit
    // until one arrives, the link fails or Cancel() is called. False unless a
    // whole report of that length arrived.
    virtual bool ReadReport(uint8_t* report, size_t length) = 0;

    // Makes a pending read or write, and every later one, fail promptly.
    // Safe to call from any thread, any number of times. The link still has
    // to be destroyed by its owner once no thread uses it any more.
    virtual void Cancel() = 0;
};
