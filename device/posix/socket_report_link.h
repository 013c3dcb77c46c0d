// A report channel over one end of a SOCK_SEQPACKET socket pair: every send
// and every receive moves one whole report, as on a HID handle. Used where
// no HID stack is at hand: the native tests, benchmarks and fuzzers.
#pragma once

#include <memory>
#include <utility>

#include "device/report_link.h"

class SocketReportLink final : public ReportLink {
public:
    explicit SocketReportLink(int fd) : fd_(fd) {}
    ~SocketReportLink() override;
    SocketReportLink(const SocketReportLink&) = delete;
    SocketReportLink& operator=(const SocketReportLink&) = delete;

    bool WriteReport(const uint8_t* report, size_t length) override;
    bool ReadReport(uint8_t* report, size_t length) override;
    void DiscardQueued() override;
    void Cancel() override;

private:
    // Waits until the socket is ready for `events`; false when the deadline
    // passes first.
    bool WaitUntilReady(short events) const;

    int fd_;
};

// Two connected links: first for the host, second for the reader's side.
std::pair<std::unique_ptr<ReportLink>, std::unique_ptr<ReportLink>> MakeSocketLinkPair();
