// Reader locks shared by the connections of one process: what the native
// tests, fuzzers and benchmarks use where Windows uses named objects. They
// behave as the named ones do, down to a holder that ends without releasing:
// a lock destroyed while held is handed to the next waiter as
// LockWait::TakenFromTheDead, as a mutex whose owner died is.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "device/reader_lock.h"

class InProcessReaderLocks {
public:
    // Locks by device path: two locks of one path are one lock.
    ReaderLockFactory Factory();
    std::unique_ptr<ReaderLock> Make(const std::string& devicePath);

    struct Shared;  // one reader's lock and state

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Shared>> readers_;
};

// A lock of a reader nobody else can reach: the turns of one connection.
std::unique_ptr<ReaderLock> MakePrivateReaderLock();
