// The control's connection to an open reader, shared by the control's thread
// and its workers. Exchanges on it never overlap, nor with the exchanges of
// other connections to the same reader, in this process or another: each
// takes its turn on the reader (ReaderTurn, device/reader_turn.h), which also
// keeps an answer that arrives late from being taken for a later command's.
// Closing it ends a pending exchange, or a wait for its turn, instead of
// waiting for a reader that may never answer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device/exchange_deadline.h"
#include "device/hid_device.h"
#include "device/reader_lock.h"

class ReaderConnection {
public:
    // Every exchange on the connection, the wait for its turn included, must
    // be done within `timeout` (zero: no limit). `lock` is the reader's lock;
    // null: a lock of this connection's own (a reader nobody else reaches).
    ReaderConnection(HidDevicePtr device, int32_t handle, ExchangeTimeout timeout = ExchangeTimeout::zero(),
                     std::unique_ptr<ReaderLock> lock = nullptr);
    ~ReaderConnection();
    ReaderConnection(const ReaderConnection&) = delete;
    ReaderConnection& operator=(const ReaderConnection&) = delete;

    // The opaque, nonzero value scripts know this connection by.
    int32_t Handle() const { return handle_; }

    // Sends one command and reads its answer into `answer` (holding
    // `capacity` bytes); returns the answer's length. 0 when nothing was
    // sent: a failed write, no turn in time, or a closed connection. A
    // failed read, or one not done in time, gives what arrived before it;
    // one that Close() cancelled gives 0 (a cancelled answer is no short
    // answer); an answer that does not fit gives 0.
    uint32_t Exchange(const uint8_t* command, uint32_t length, uint8_t* answer, uint32_t capacity);

    // Loads a CA certificate (see DownloadCA) in one turn: no other exchange
    // comes between its blocks. The first block shares the time limit with
    // the wait for the turn; no turn in time gives kCaReceiveFailed (nothing
    // sent); a closed connection or a reader gone gives kCaSendFailed.
    int32_t DownloadCA(int32_t nFlag, const uint8_t* data, uint32_t length);

    // Cancels a pending exchange or wait for a turn, waits for it to leave,
    // and closes the reader. Later exchanges fail at once. Safe to call more
    // than once.
    void Close();

private:
    const int32_t handle_;
    const ExchangeTimeout timeout_;
    HidDevice* const link_;  // for Cancel(), which must not wait for the lock
    const std::unique_ptr<ReaderLock> lock_;
    std::atomic<bool> closing_{false};
    std::mutex exchangeMutex_;  // one exchange at a time; guards device_
    HidDevicePtr device_;       // null once closed
};
