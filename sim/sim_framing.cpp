#include "sim/sim_framing.h"

#include <algorithm>

std::vector<Report> FrameMessage(const Bytes& message, uint16_t reportLen) {
    const size_t payload = reportLen - 2u;
    std::vector<Report> reports;
    // An empty answer is still a message: an empty first and an empty last report.
    if (message.empty()) return {MakeReport(reportLen, 0x00), MakeReport(reportLen, 0x80)};
    for (size_t offset = 0; offset < message.size(); offset += payload) {
        const size_t size = std::min(payload, message.size() - offset);
        const bool first = offset == 0;
        const bool last = offset + size == message.size() && !first;
        const uint8_t position = first ? 0x00 : last ? 0x80 : 0x40;
        Bytes chunk(message.begin() + offset, message.begin() + offset + size);
        reports.push_back(MakeReport(reportLen, static_cast<uint8_t>(position | size), chunk));
    }
    if (reports.size() == 1) reports.push_back(MakeReport(reportLen, 0x80));
    return reports;
}

Report MakeReport(uint16_t reportLen, uint8_t control, const Bytes& payload) {
    Report report(reportLen, 0);
    if (reportLen > 1) report[1] = control;
    const size_t size = std::min(payload.size(), report.size() > 2 ? report.size() - 2 : 0);
    std::copy_n(payload.begin(), size, report.begin() + 2);
    return report;
}

bool MessageAssembler::Add(const Report& report) {
    const uint8_t control = report[1];
    const bool first = (control & 0xC0) == 0;
    if (first) {
        message_.clear();
        inMessage_ = true;
    } else if (!inMessage_) {
        return false;  // a stray report outside any message
    }
    const size_t count = std::min<size_t>(control & 0x3F, payload_);
    message_.insert(message_.end(), report.begin() + 2, report.begin() + 2 + count);
    if (first || (control & 0xC0) == 0x40) return false;
    inMessage_ = false;
    return true;
}

Bytes MessageAssembler::Take() {
    return std::move(message_);
}
