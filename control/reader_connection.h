// The control's connection to an open reader, shared by the control's thread
// and its workers. Exchanges on it never overlap, and closing it ends a
// pending exchange instead of waiting for a reader that may never answer.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/exchange_deadline.h"
#include "device/hid_device.h"

class ReaderConnection {
public:
    // Every exchange on the connection must be done within `timeout`
    // (zero: no limit).
    ReaderConnection(HidDevicePtr device, int32_t handle, ExchangeTimeout timeout = ExchangeTimeout::zero());
    ~ReaderConnection();
    ReaderConnection(const ReaderConnection&) = delete;
    ReaderConnection& operator=(const ReaderConnection&) = delete;

    // The opaque, nonzero value scripts know this connection by.
    int32_t Handle() const { return handle_; }

    // Sends one command and reads its answer into `answer` (holding
    // `capacity` bytes); returns the answer's length. A failed write gives
    // 0; a failed read, or one not done in time, gives what arrived before
    // it; an answer that does not fit gives 0. A closed connection gives 0
    // at once.
    uint32_t Exchange(const uint8_t* command, uint32_t length, uint8_t* answer, uint32_t capacity);

    // Loads a CA certificate (see DownloadCA); kCaSendFailed once closed.
    int32_t DownloadCA(int32_t nFlag, const uint8_t* data, uint32_t length);

    // Cancels a pending exchange, waits for it to leave, and closes the
    // reader. Later exchanges fail at once. Safe to call more than once.
    void Close();

private:
    const int32_t handle_;
    const ExchangeTimeout timeout_;
    HidDevice* const link_;  // for Cancel(), which must not wait for the lock
    std::atomic<bool> closing_{false};
    std::mutex exchangeMutex_;  // one exchange at a time; guards device_
    HidDevicePtr device_;       // null once closed
};
