#include "device/reader_turn.h"

#include "device/exchange_deadline.h"
#include "device/hid_framing.h"

ReaderTurn::ReaderTurn(HidDevice& device, ReaderLock& lock, ReportDeadline deadline) : lock_(lock) {
    const LockWait wait = lock.Acquire(deadline);
    if (wait == LockWait::TimedOut) {
        outcome_ = Outcome::TimedOut;
        return;
    }
    if (wait == LockWait::Cancelled) {
        outcome_ = Outcome::Cancelled;
        return;
    }
    held_ = true;
    outcome_ = Settle(device, wait, deadline);
}

ReaderTurn::~ReaderTurn() {
    if (!held_) return;
    // Given up (the deadline, a cancellation, a failed read): the grace for
    // the answer still on its way counts from now.
    if (owing_) lock_.State().owedSince = lock_.Now();
    lock_.Release();
}

void ReaderTurn::CommandSent() {
    lock_.State() = SharedReaderState{lock_.Now(), lock_.Id()};
    owing_ = true;
}

void ReaderTurn::NothingOwed() {
    lock_.State() = SharedReaderState{};
    owing_ = false;
}

bool ReaderTurn::GraceOver() const {
    const SharedReaderState& state = lock_.State();
    const uint64_t now = lock_.Now();
    return now >= state.owedSince && now - state.owedSince >= static_cast<uint64_t>(kLateAnswerGrace.count());
}

ReaderTurn::Outcome ReaderTurn::Settle(HidDevice& device, LockWait wait, ReportDeadline deadline) {
    SharedReaderState& state = lock_.State();
    if (state.owedSince == 0) return Outcome::Given;
    // The dead holder was alive until a moment ago, and its answer may still
    // be on its way.
    if (wait == LockWait::TakenFromTheDead) state.owedSince = lock_.Now();
    if (GraceOver()) {
        state = SharedReaderState{};
        return Outcome::Given;
    }

    const auto now = std::chrono::steady_clock::now();
    const auto graceLeft = std::chrono::milliseconds(state.owedSince + kLateAnswerGrace.count() - lock_.Now());
    ReportDeadline drainBy = now + graceLeft;
    if (deadline && *deadline < *drainBy) drainBy = deadline;
    bool drained = false;
    {
        ExchangeDeadline bound(device, drainBy);
        // Only the connection the answer is owed to has nothing else queued.
        if (state.owedTo != lock_.Id()) device.hDevice->DiscardQueued();
        drained = SkipToEndOfMessage(device);
    }
    if (drained || GraceOver()) {
        state = SharedReaderState{};
        return Outcome::Given;
    }
    if (deadline && std::chrono::steady_clock::now() >= *deadline) return Outcome::TimedOut;
    return Outcome::LinkFailed;
}
