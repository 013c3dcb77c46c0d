#include "sim/responders.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace sim {

namespace {

SimReply AnswerWith(const Bytes& message, uint16_t reportLen) {
    return SimReply{FrameMessage(message, reportLen), SimReply::Then::Listen};
}

}  // namespace

Bytes PatternBytes(uint32_t length) {
    Bytes bytes(length);
    for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
    return bytes;
}

Responder Echo() {
    return [](const Bytes& command, uint16_t reportLen) { return AnswerWith(command, reportLen); };
}

Responder Fixed(Bytes answer) {
    return [answer = std::move(answer)](const Bytes&, uint16_t reportLen) { return AnswerWith(answer, reportLen); };
}

Responder StatusWord(uint8_t sw1, uint8_t sw2) {
    return Fixed({sw1, sw2});
}

Responder AnswerOfLength(uint32_t length) {
    return Fixed(PatternBytes(length));
}

Responder Sequence(std::vector<Responder> responders) {
    auto next = std::make_shared<std::atomic<size_t>>(0);
    return [responders = std::move(responders), next](const Bytes& command, uint16_t reportLen) {
        const size_t index = std::min(next->fetch_add(1), responders.size() - 1);
        return responders[index](command, reportLen);
    };
}

Responder Delayed(Responder inner, uint32_t ms) {
    return [inner = std::move(inner), ms](const Bytes& command, uint16_t reportLen) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return inner(command, reportLen);
    };
}

Responder ThenUnsolicited(Responder inner, Bytes message) {
    return [inner = std::move(inner), message = std::move(message)](const Bytes& command, uint16_t reportLen) {
        SimReply reply = inner(command, reportLen);
        const std::vector<Report> unasked = FrameMessage(message, reportLen);
        reply.reports.insert(reply.reports.end(), unasked.begin(), unasked.end());
        return reply;
    };
}

Responder Silent() {
    return [](const Bytes&, uint16_t) { return SimReply{}; };
}

Responder StrayReportsFirst(Responder inner, int count) {
    return [inner = std::move(inner), count](const Bytes& command, uint16_t reportLen) {
        SimReply reply = inner(command, reportLen);
        std::vector<Report> stray;
        for (int i = 0; i < count; ++i) stray.push_back(MakeReport(reportLen, i % 2 ? 0x81 : 0x42, {0xEE, 0xEE}));
        reply.reports.insert(reply.reports.begin(), stray.begin(), stray.end());
        return reply;
    };
}

Responder CountOverPayload() {
    return [](const Bytes&, uint16_t reportLen) {
        return SimReply{{MakeReport(reportLen, 0x3F, PatternBytes(63)), MakeReport(reportLen, 0x80)},
                        SimReply::Then::Listen};
    };
}

Responder EndlessMiddle() {
    return [](const Bytes&, uint16_t reportLen) {
        const auto payload = static_cast<uint8_t>(reportLen - 2);
        return SimReply{{MakeReport(reportLen, payload, PatternBytes(payload))}, SimReply::Then::EndlessMiddle};
    };
}

Responder UnplugAfterReports(Responder inner, size_t reports) {
    return [inner = std::move(inner), reports](const Bytes& command, uint16_t reportLen) {
        SimReply reply = inner(command, reportLen);
        if (reply.reports.size() > reports) reply.reports.resize(reports);
        reply.then = SimReply::Then::Unplug;
        return reply;
    };
}

Responder PauseAfterReports(Responder inner, size_t reports, uint32_t ms) {
    return [inner = std::move(inner), reports, ms](const Bytes& command, uint16_t reportLen) {
        SimReply reply = inner(command, reportLen);
        reply.pauseAfter = reports;
        reply.pauseMs = ms;
        return reply;
    };
}

Responder UnplugOnCommand() {
    return UnplugAfterReports(Silent(), 0);
}

Responder RawReports(std::vector<Report> reports) {
    return [reports = std::move(reports)](const Bytes&, uint16_t) { return SimReply{reports, SimReply::Then::Listen}; };
}

Responder CaReader::AsResponder() {
    auto self = shared_from_this();
    return [self](const Bytes& command, uint16_t reportLen) { return self->Answer(command, reportLen); };
}

std::vector<std::string> CaReader::Problems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

Bytes CaReader::Certificate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return certificate_;
}

size_t CaReader::Blocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_;
}

SimReply CaReader::Answer(const Bytes& command, uint16_t reportLen) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool isBlock = command.size() >= 2 && command[0] == 0x18 && command[1] == 0xC6;
    if (!isBlock && options_.echoOthers) return AnswerWith(command, reportLen);
    const size_t index = blocks_++;
    auto problem = [&](const std::string& what) {
        problems_.push_back("block " + std::to_string(index) + ": " + what);
    };
    if (command.size() < 7 || command[0] != 0x18 || command[1] != 0xC6 || command[2] != 0x00) {
        problem("not a CA download command");
        return AnswerWith({0x6D, 0x00}, reportLen);
    }
    const uint8_t p2 = command[3];
    const size_t lc = command[4];
    if (command.size() != lc + 6 || lc == 0 || lc > 128) problem("Lc does not match the block");
    if (command.back() != 0x00) problem("Le is not 00");
    if ((p2 & 0x03) != options_.variant - 1) problem("P2 carries the wrong variant");
    const size_t number = p2 >> 2;
    if (number == 63) {
        nextNumber_ = 0;  // the download is complete; another may follow
    } else {
        if (number != nextNumber_) problem("block number " + std::to_string(number) + " out of order");
        if (lc != 128) problem("a block before the last is not full");
        ++nextNumber_;
    }
    if (command.size() > 6) certificate_.insert(certificate_.end(), command.begin() + 5, command.end() - 1);

    if (static_cast<int>(index) == options_.wrongLengthBlock) return AnswerWith({0x90, 0x00, 0x00}, reportLen);
    if (static_cast<int>(index) == options_.refuseBlock)
        return AnswerWith({options_.refusalSw1, options_.refusalSw2}, reportLen);
    return AnswerWith({0x90, 0x00}, reportLen);
}

}  // namespace sim
