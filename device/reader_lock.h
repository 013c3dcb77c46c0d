// The lock that every connection to one reader takes for each exchange, in
// this process and in every other, and the small state they share beside
// it. Each platform provides it: on Windows a named mutex and a named file
// mapping (device/win32/named_reader_lock.h), natively an in-process
// implementation (device/in_process_reader_lock.h).
//
// Why: every open handle to a HID device gets its own copy of every input
// report, and the output reports of all handles reach the one device. Two
// pages (or two processes) that exchange with one reader at the same time
// interleave their commands and read each other's answers unless they take
// turns. The turn itself, and what the shared state is for, is ReaderTurn
// (device/reader_turn.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device/report_link.h"

// What every user of one reader knows about it. It lives beside the lock (in
// memory every process maps) and is read or written only by the lock's
// holder. A new reader's state is all zero.
struct SharedReaderState {
    // When the reader began to owe an answer that nobody has read yet
    // (ReaderLock::Now()); 0: it owes none.
    uint64_t owedSince;
    // The ReaderLock::Id() of the connection that sent the command owed.
    uint64_t owedTo;
};

enum class LockWait {
    Taken,
    // Taken from a holder that ended (its process died) while holding it:
    // taken all the same, but what that holder was doing was not finished.
    TakenFromTheDead,
    TimedOut,
    Cancelled,
};

class ReaderLock {
public:
    virtual ~ReaderLock() = default;

    // Waits for the lock until `deadline` (nothing: no limit) or Cancel().
    // Not recursive: a holder must release before it asks again.
    virtual LockWait Acquire(ReportDeadline deadline) = 0;
    virtual void Release() = 0;

    // The reader's shared state; only while the lock is held.
    virtual SharedReaderState& State() = 0;

    // Ends a wait promptly and makes every later Acquire() end Cancelled.
    // Safe from any thread, any number of times.
    virtual void Cancel() = 0;

    // This lock's user: unique among all users of the reader, in every
    // process, while it lives. Never 0.
    virtual uint64_t Id() const = 0;

    // Milliseconds on a clock that every user of the reader reads alike
    // (on Windows the system's tick count). Never 0.
    virtual uint64_t Now() const = 0;
};

// Makes the lock of the reader at `devicePath`: every lock made for the same
// path, in this process or another, is the same lock with the same state.
// Null when the platform cannot make it.
using ReaderLockFactory = std::function<std::unique_ptr<ReaderLock>(const std::string& devicePath)>;

// The one name a reader's shared objects are derived from: the same for
// every spelling of the same path (paths compare without regard to ASCII
// case), of fixed length, and free of backslashes, which an object name may
// not hold.
std::string SharedReaderName(std::string_view devicePath);
