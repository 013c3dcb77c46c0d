#include "device/win32/file_report_link.h"

// MinGW's HID headers declare the hid.dll functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include "device/win32/deadline_wait.h"

FileReportLink::FileReportLink(UniqueFileHandle file) : file_(std::move(file)) {}

bool FileReportLink::WriteReport(const uint8_t* report, size_t length) {
    return Transfer(Direction::Write, const_cast<uint8_t*>(report), static_cast<DWORD>(length));
}

bool FileReportLink::ReadReport(uint8_t* report, size_t length) {
    return Transfer(Direction::Read, report, static_cast<DWORD>(length));
}

bool FileReportLink::Transfer(Direction direction, uint8_t* buffer, DWORD length) {
    const DWORD wait = MillisecondsUntil(Deadline());
    if (cancelled_ || wait == 0) return false;
    UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();

    const BOOL started = direction == Direction::Read ? ::ReadFile(file_.get(), buffer, length, nullptr, &overlapped)
                                                      : ::WriteFile(file_.get(), buffer, length, nullptr, &overlapped);
    if (!started && ::GetLastError() != ERROR_IO_PENDING) return false;

    // Cancel() may have run between the check above and the start of this
    // transfer; its CancelIoEx then found nothing to cancel, so do it here.
    if (cancelled_) ::CancelIoEx(file_.get(), &overlapped);
    // A transfer still pending at the deadline is cancelled; it may finish
    // in the meantime, and GetOverlappedResult below tells which happened.
    if (wait != INFINITE && ::WaitForSingleObject(done.get(), wait) == WAIT_TIMEOUT)
        ::CancelIoEx(file_.get(), &overlapped);

    // Always wait for the transfer to finish, cancelled or not: the buffer
    // and the OVERLAPPED must outlive it.
    DWORD transferred = 0;
    const BOOL finished = ::GetOverlappedResult(file_.get(), &overlapped, &transferred, TRUE);
    return finished && transferred == length;
}

void FileReportLink::DiscardQueued() {
    if (!cancelled_) (void)::HidD_FlushQueue(file_.get());
}

void FileReportLink::Cancel() {
    cancelled_ = true;
    ::CancelIoEx(file_.get(), nullptr);
}

UniqueFileHandle OpenHidInterface(const char* devicePath) {
    return UniqueFileHandle(::CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}
