#include "control/reader_connection.h"

#include "device/download_ca.h"
#include "device/hid_framing.h"
#include "device/in_process_reader_lock.h"
#include "device/reader_turn.h"

ReaderConnection::ReaderConnection(HidDevicePtr device, int32_t handle, ExchangeTimeout timeout,
                                   std::unique_ptr<ReaderLock> lock)
    : handle_(handle),
      timeout_(timeout),
      link_(device.get()),
      lock_(lock ? std::move(lock) : MakePrivateReaderLock()),
      device_(std::move(device)) {}

ReaderConnection::~ReaderConnection() {
    Close();
}

uint32_t ReaderConnection::Exchange(const uint8_t* command, uint32_t length, uint8_t* answer, uint32_t capacity) {
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    if (!device_) return 0;
    const ReportDeadline deadline = DeadlineFromNow(timeout_);
    ReaderTurn turn(*device_, *lock_, deadline);
    if (!turn.Given()) return 0;
    ExchangeDeadline bound(*device_, deadline);
    turn.CommandSent();
    if (!WriteHidMessage(*device_, command, length)) {
        turn.NothingOwed();  // no whole command reached the reader
        return 0;
    }
    uint32_t count = 0;
    bool ended = false;
    // Whether the answer was kept does not matter here: what arrived is
    // the answer, and a refused one has a count of 0.
    (void)ReadHidMessage(*device_, answer, capacity, count, &ended);
    if (ended) {
        turn.NothingOwed();
        return count;
    }
    // Short because Close() cancelled it: not an answer at all.
    return closing_ ? 0 : count;
}

int32_t ReaderConnection::DownloadCA(int32_t nFlag, const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    if (!device_) return kCaSendFailed;
    const ReportDeadline deadline = DeadlineFromNow(timeout_);
    ReaderTurn turn(*device_, *lock_, deadline);
    // No turn in time: the owed answer of another exchange was still being
    // waited for, as a receive that failed. Cancelled, or the reader gone:
    // nothing could be sent.
    if (!turn.Given()) return turn.outcome() == ReaderTurn::Outcome::TimedOut ? kCaReceiveFailed : kCaSendFailed;
    turn.CommandSent();
    bool inStep = false;
    const int32_t result = ::DownloadCA(*device_, nFlag, data, length, timeout_, deadline, &inStep);
    if (inStep) turn.NothingOwed();
    return result;
}

void ReaderConnection::Close() {
    // The record lives until the first Close resets it below, so the link
    // may be cancelled while an exchange holds the lock; that exchange then
    // fails promptly and lets go. So does a wait for the reader's turn.
    if (closing_.exchange(true)) return;
    if (link_) link_->hDevice->Cancel();
    lock_->Cancel();
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    CloseHidDevice(device_.release());
}
