#include "control/reader_connection.h"

#include "device/download_ca.h"
#include "device/hid_framing.h"

ReaderConnection::ReaderConnection(HidDevicePtr device, int32_t handle, ExchangeTimeout timeout)
    : handle_(handle), timeout_(timeout), link_(device.get()), device_(std::move(device)) {}

ReaderConnection::~ReaderConnection() {
    Close();
}

uint32_t ReaderConnection::Exchange(const uint8_t* command, uint32_t length, uint8_t* answer, uint32_t capacity) {
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    if (!device_) return 0;
    ExchangeDeadline deadline(*device_, timeout_);
    if (!WriteHidMessage(*device_, command, length)) return 0;
    uint32_t count = 0;
    // Whether the answer was complete does not matter here: what arrived
    // is the answer, and a refused one has a count of 0.
    (void)ReadHidMessage(*device_, answer, capacity, count);
    return count;
}

int32_t ReaderConnection::DownloadCA(int32_t nFlag, const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    if (!device_) return kCaSendFailed;
    return ::DownloadCA(*device_, nFlag, data, length, timeout_);
}

void ReaderConnection::Close() {
    // The record lives until the first Close resets it below, so the link
    // may be cancelled while an exchange holds the lock; that exchange then
    // fails promptly and lets go.
    if (closing_.exchange(true)) return;
    if (link_) link_->hDevice->Cancel();
    std::lock_guard<std::mutex> lock(exchangeMutex_);
    CloseHidDevice(device_.release());
}
