// Messages of any length as sequences of fixed-size HID reports.
//
// Report layout (both directions): byte 0 report id (0 on output), byte 1 the
// control byte, bytes 2..L-1 payload. Control byte bits 0-5: payload count;
// bit 6: middle report; bit 7: last report; neither: first report. A message
// is one first report, any middle reports, and one last report; a message
// that fits one report is followed by an empty last report.
#pragma once

#include <cstdint>

#include "device/hid_device.h"

constexpr uint8_t kMiddleReport = 0x40;
constexpr uint8_t kLastReport = 0x80;
constexpr uint8_t kCountMask = 0x3F;

// The longest answer the link will follow to its end before it gives up on
// a reader that never finishes a message (it counts stray reports too).
constexpr uint32_t kMaxMessageBytes = 64 * 1024;

// Sends `length` bytes as one message, after dropping the input reports that
// arrived and were not read (ReportLink::DiscardQueued), so that the answer
// read next belongs to this message. False for an empty message (nothing is
// sent or dropped) and at the first report that cannot be written.
[[nodiscard]] bool WriteHidMessage(HidDevice& device, const uint8_t* message, uint32_t length);

// Waits for one message and stores its payload at the start of `buffer`,
// which holds `capacity` bytes; `count` tells how many bytes were stored.
// Reports that cannot start a message (middle or last) are skipped.
//
// True once the message's last report has arrived. False when a read fails:
// `count` then tells the bytes collected so far. An answer that does not fit
// `capacity`, or a report claiming more payload than a report holds, is read
// on to its last report (so the next exchange starts in step with the reader)
// and refused: false with `count` 0. A reader that never ends a message is
// given up on after kMaxMessageBytes worth of reports, also with `count` 0.
//
// `ended`, when given, tells whether the message was read to its last
// report, kept or refused: whether the link is in step with the reader.
[[nodiscard]] bool ReadHidMessage(HidDevice& device, uint8_t* buffer, uint32_t capacity, uint32_t& count,
                                  bool* ended = nullptr);

// Reads and drops reports up to and including the next one that ends a
// message (its last-report bit set), whatever came before it: the rest of
// an answer that another exchange began to wait for. False when a read
// fails first, or after kMaxMessageBytes worth of reports.
[[nodiscard]] bool SkipToEndOfMessage(HidDevice& device);
