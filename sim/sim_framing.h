// The reader's side of the report framing, written apart from the host's so
// that a mistake in one is not mirrored in the other.
#pragma once

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Report = std::vector<uint8_t>;

// The reports of one message for report length `reportLen`: a first report,
// middle reports, a last report; an empty last report after a message that
// fits one report (an empty message too). Every report is `reportLen` bytes,
// unused payload zero.
std::vector<Report> FrameMessage(const Bytes& message, uint16_t reportLen);

// One report with the given control byte and payload (cut to fit).
Report MakeReport(uint16_t reportLen, uint8_t control, const Bytes& payload = {});

// Builds up a message from reports as the reader receives them.
class MessageAssembler {
public:
    explicit MessageAssembler(uint16_t reportLen) : payload_(reportLen - 2u) {}
    // Adds one report; true when it completed a message (then see Take()).
    bool Add(const Report& report);
    Bytes Take();

private:
    uint32_t payload_;
    Bytes message_;
    bool inMessage_ = false;
};
