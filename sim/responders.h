// Ready-made reader behaviours for the simulator: ordinary answers, the CA
// download, and the faults a broken or hostile reader may show.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/reader_simulator.h"

namespace sim {

// Ordinary readers.
Responder Echo();
Responder Fixed(Bytes answer);
Responder StatusWord(uint8_t sw1, uint8_t sw2);
// Answers every command with `length` bytes 0, 1, 2, ... (mod 251).
Responder AnswerOfLength(uint32_t length);
Bytes PatternBytes(uint32_t length);
// The n-th command is answered by the n-th responder; the last one repeats.
Responder Sequence(std::vector<Responder> responders);
// Waits `ms` milliseconds before answering as `inner`: a slow reader.
Responder Delayed(Responder inner, uint32_t ms);

// Faults.
Responder Silent();                                       // takes commands, never answers
Responder StrayReportsFirst(Responder inner, int count);  // middle/last reports before the answer
Responder CountOverPayload();                             // a first report claiming 63 bytes (> payload for small L)
Responder EndlessMiddle();                                // a first report, then middle reports forever
Responder UnplugAfterReports(Responder inner, size_t reports);  // vanishes mid-answer
// Sends the first `reports` reports of the answer, waits `ms` milliseconds,
// then sends the rest: an answer that a cardholder holds up halfway.
Responder PauseAfterReports(Responder inner, size_t reports, uint32_t ms);
Responder UnplugOnCommand();                        // vanishes as soon as a command arrives
Responder RawReports(std::vector<Report> reports);  // exactly these reports
// Answers as `inner`, then sends `message` unasked, as a whole message.
Responder ThenUnsolicited(Responder inner, Bytes message);

// A reader that accepts CA download blocks, checks their layout and block
// numbering, and answers each with a status word.
class CaReader : public std::enable_shared_from_this<CaReader> {
public:
    struct Options {
        int variant = 1;       // expected nFlag
        int refuseBlock = -1;  // index of the block (in arrival order) to refuse
        uint8_t refusalSw1 = 0x6A, refusalSw2 = 0x80;
        int wrongLengthBlock = -1;  // block index answered with three bytes
        bool echoOthers = false;    // answer other commands with themselves, as a terminal's own commands
    };
    static std::shared_ptr<CaReader> Make(Options options) { return std::shared_ptr<CaReader>(new CaReader(options)); }

    Responder AsResponder();                    // keeps this reader alive
    std::vector<std::string> Problems() const;  // layout or numbering faults seen
    Bytes Certificate() const;                  // bytes of every block received, in order
    size_t Blocks() const;                      // blocks received, all downloads

private:
    explicit CaReader(Options options) : options_(options) {}
    SimReply Answer(const Bytes& command, uint16_t reportLen);

    Options options_;
    mutable std::mutex mutex_;
    std::vector<std::string> problems_;
    Bytes certificate_;
    size_t blocks_ = 0;      // every block received
    size_t nextNumber_ = 0;  // block number expected next in this download
};

}  // namespace sim
