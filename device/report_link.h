// One open report channel to a reader: the only thing the framing needs of
// the platform. Each call moves exactly one whole report, like a HID handle.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

// The moment by which a transfer must be done; nothing: no time limit.
using ReportDeadline = std::optional<std::chrono::steady_clock::time_point>;

class ReportLink {
public:
    virtual ~ReportLink() = default;

    // Bounds the transfers that follow, until it is set again: one still
    // pending at the deadline is cancelled and fails, and one asked for
    // after it fails without starting. Unlike Cancel(), it leaves the link
    // usable. Set by the thread that transfers. Links on the host's side
    // honour it; a simulated reader's side is never given one.
    void SetDeadline(ReportDeadline deadline) { deadline_ = deadline; }

    // Writes one report; blocks until it is written. False on failure.
    virtual bool WriteReport(const uint8_t* report, size_t length) = 0;

    // Reads one report of exactly `length` bytes; blocks until one arrives,
    // the link fails, the deadline passes or Cancel() is called. False unless
    // a whole report of that length arrived.
    virtual bool ReadReport(uint8_t* report, size_t length) = 0;

    // Drops the reports that have arrived and were not read yet, without
    // waiting for more: a message the reader sent unasked, or an answer that
    // came after its exchange ended, must not be taken for the answer to the
    // next command. A link whose reports only arrive when asked for has
    // nothing to drop.
    virtual void DiscardQueued() {}

    // Makes a pending read or write, and every later one, fail promptly.
    // Safe to call from any thread, any number of times. The link still has
    // to be destroyed by its owner once no thread uses it any more.
    virtual void Cancel() = 0;

protected:
    ReportDeadline Deadline() const { return deadline_; }
    // Time left before the deadline (zero or less once it passed); nothing
    // when there is no deadline.
    std::optional<std::chrono::steady_clock::duration> TimeLeft() const {
        if (!deadline_) return std::nullopt;
        return *deadline_ - std::chrono::steady_clock::now();
    }

private:
    ReportDeadline deadline_;
};
