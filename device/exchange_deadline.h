// A time limit on one exchange with the reader: a command and its whole
// answer (or one CA block and its status word). The exchange that is not
// done in time fails as a read of a reader that went away: with what had
// arrived by then.
#pragma once

#include <chrono>

#include "device/hid_device.h"

// How long one exchange may take; zero: no limit.
using ExchangeTimeout = std::chrono::milliseconds;

// The moment an exchange that starts now must be done by; nothing for no limit.
inline ReportDeadline DeadlineFromNow(ExchangeTimeout timeout) {
    if (timeout <= ExchangeTimeout::zero()) return std::nullopt;
    return std::chrono::steady_clock::now() + timeout;
}

// Puts the deadline on the reader's link for the scope of one exchange and
// takes it off afterwards.
class ExchangeDeadline {
public:
    ExchangeDeadline(HidDevice& device, ExchangeTimeout timeout) : ExchangeDeadline(device, DeadlineFromNow(timeout)) {}
    ExchangeDeadline(HidDevice& device, ReportDeadline deadline) : link_(*device.hDevice) {
        link_.SetDeadline(deadline);
    }
    ~ExchangeDeadline() { link_.SetDeadline(std::nullopt); }
    ExchangeDeadline(const ExchangeDeadline&) = delete;
    ExchangeDeadline& operator=(const ExchangeDeadline&) = delete;

private:
    ReportLink& link_;
};
