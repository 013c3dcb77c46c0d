// One connection's turn on a reader that other connections, in this process
// or in others, may use too: what keeps every answer with its command.
//
// The rule:
// - Every exchange (a command and its answer, or a CA download's whole
//   sequence of blocks) runs while its connection holds the reader's lock
//   (ReaderLock). The lock is taken before anything is sent and released
//   after the answer was read.
// - Write-ahead: before the first report of a command is written, the holder
//   marks in the reader's shared state that an answer is owed, since when,
//   and to which connection; it clears the mark only once it has read the
//   whole answer (or knows that no whole command reached the reader). So an
//   exchange that ended incomplete, whatever ended it (a time limit, a
//   cancellation by DevClose, DevOpen or destruction, an unplugged reader, a
//   process that died holding the lock), leaves the mark set for the next
//   holder, in this process or another. A holder that gives an exchange up
//   restamps the mark with the moment it did; so does a holder that takes
//   the lock from a dead one.
// - A holder that finds the mark set drains before it sends: it reads its
//   handle's reports up to one that ends a message, drops them, and clears
//   the mark. The connection the answer is owed to reads its own queue as it
//   is (it was emptied right before the command was sent, so only that
//   answer can be in it: a first part already there and a tail still to
//   come count as one message). Any other connection empties its queue
//   first (it holds copies of the answers of earlier exchanges, complete and
//   stale) and waits for the rest of the owed answer to arrive.
// - The drain is bounded twice. By the caller's deadline: when it passes,
//   the turn is not given (the call sends nothing), and the mark stays for
//   the next holder. And by kLateAnswerGrace after the mark's moment: then
//   the owed answer is taken to be lost, the mark is cleared, and the turn
//   is given.
// - Then the queue is emptied once more and the command is sent (the
//   framing's WriteHidMessage does that).
//
// Its limits: a reader that answers later than the grace still shifts one
// answer onto a later command. A connection other than the one owed that
// comes after the whole owed answer has arrived cannot tell that answer
// from an earlier one: it waits for the grace to run out. And a reader that
// a partly written command confused (a process killed in the middle of a
// write) answers as it will.
#pragma once

#include <chrono>

#include "device/hid_device.h"
#include "device/reader_lock.h"

// How long after an answer became owed, with nobody left waiting for it,
// the next holder still waits for it before taking it to be lost.
inline constexpr std::chrono::milliseconds kLateAnswerGrace = std::chrono::seconds(10);

class ReaderTurn {
public:
    enum class Outcome {
        Given,       // the lock is held and nothing is owed: send
        TimedOut,    // the deadline passed while waiting or draining
        Cancelled,   // ReaderLock::Cancel() ended the wait for the lock
        LinkFailed,  // a read failed while draining: the link was cancelled or the reader went away
    };

    // Waits for the lock until `deadline` (nothing: no limit) and settles an
    // answer still owed, as the rule above says. `device` is the caller's
    // link to the reader.
    ReaderTurn(HidDevice& device, ReaderLock& lock, ReportDeadline deadline);
    // Releases the lock; an answer still owed is marked as given up now.
    ~ReaderTurn();
    ReaderTurn(const ReaderTurn&) = delete;
    ReaderTurn& operator=(const ReaderTurn&) = delete;

    Outcome outcome() const { return outcome_; }
    bool Given() const { return outcome_ == Outcome::Given; }

    // Before the first report of a command is written.
    void CommandSent();
    // Once the answer was read to its end, or no whole command reached the
    // reader: nothing is owed.
    void NothingOwed();

private:
    Outcome Settle(HidDevice& device, LockWait wait, ReportDeadline deadline);
    bool GraceOver() const;

    ReaderLock& lock_;
    bool held_ = false;
    bool owing_ = false;  // this turn's command was sent and its answer is not read yet
    Outcome outcome_ = Outcome::Cancelled;
};
