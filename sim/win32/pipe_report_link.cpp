#include "sim/win32/pipe_report_link.h"

namespace {

// The client's reports are taken in as fast as it writes them, as a HID
// output pipe would: a client never blocks on a busy reader.
constexpr DWORD kInboundBuffer = 64 * 1024;
// No room on the way out: a report stays with the reader until the client
// has read it (see the header).
constexpr DWORD kOutboundBuffer = 0;

UniqueHandle ManualResetEvent() {
    return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

}  // namespace

std::unique_ptr<PipeReportLink> PipeReportLink::Listen(const std::string& path) {
    UniqueFileHandle pipe(
        ::CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                           PIPE_UNLIMITED_INSTANCES, kOutboundBuffer, kInboundBuffer, 0, nullptr));
    UniqueHandle connectEvent = ManualResetEvent();
    UniqueHandle readEvent = ManualResetEvent();
    UniqueHandle writeEvent = ManualResetEvent();
    if (!pipe || !connectEvent || !readEvent || !writeEvent) return nullptr;

    std::unique_ptr<PipeReportLink> link(
        new PipeReportLink(std::move(pipe), std::move(connectEvent), std::move(readEvent), std::move(writeEvent)));
    link->connect_.hEvent = link->connectEvent_.get();
    if (::ConnectNamedPipe(link->pipe_.get(), &link->connect_)) {
        ::SetEvent(link->connectEvent_.get());
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        link->connectPending_ = true;
    } else if (::GetLastError() == ERROR_PIPE_CONNECTED) {
        // A client opened the instance between its creation and the wait.
        ::SetEvent(link->connectEvent_.get());
    } else {
        return nullptr;
    }
    return link;
}

PipeReportLink::PipeReportLink(UniqueFileHandle pipe, UniqueHandle connectEvent, UniqueHandle readEvent,
                               UniqueHandle writeEvent)
    : pipe_(std::move(pipe)),
      connectEvent_(std::move(connectEvent)),
      readEvent_(std::move(readEvent)),
      writeEvent_(std::move(writeEvent)) {}

PipeReportLink::~PipeReportLink() {
    // The system writes into connect_ until the wait ends: end it first.
    if (connectPending_) {
        ::CancelIoEx(pipe_.get(), &connect_);
        DWORD ignored = 0;
        ::GetOverlappedResult(pipe_.get(), &connect_, &ignored, TRUE);
    }
}

bool PipeReportLink::FinishConnect() {
    if (connectPending_) {
        connectPending_ = false;
        DWORD ignored = 0;
        if (!::GetOverlappedResult(pipe_.get(), &connect_, &ignored, TRUE)) End();
    }
    return !ended_;
}

bool PipeReportLink::HasClient() const {
    // Peeking succeeds on a connected instance only.
    return ::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, nullptr, nullptr) != 0;
}

bool PipeReportLink::WriteReport(const uint8_t* report, size_t length) {
    if (!cancelled_ && !ended_) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = writeEvent_.get();
        const auto size = static_cast<DWORD>(length);
        if (Complete(overlapped, ::WriteFile(pipe_.get(), report, size, nullptr, &overlapped)) == size) return true;
    }
    End();
    return false;
}

bool PipeReportLink::ReadReport(uint8_t* report, size_t length) {
    // A longer message fails with ERROR_MORE_DATA and a shorter one comes up
    // short: either way it is no report, and the connection ends.
    if (ReadMessage(report, length) == length) return true;
    End();
    return false;
}

std::optional<size_t> PipeReportLink::ReadMessage(uint8_t* buffer, size_t capacity) {
    if (!cancelled_ && !ended_) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = readEvent_.get();
        const auto size = static_cast<DWORD>(capacity);
        if (const auto read = Complete(overlapped, ::ReadFile(pipe_.get(), buffer, size, nullptr, &overlapped)))
            return *read;
    }
    End();
    return std::nullopt;
}

std::optional<DWORD> PipeReportLink::Complete(OVERLAPPED& overlapped, BOOL started) {
    if (!started) {
        const DWORD error = ::GetLastError();
        // ERROR_MORE_DATA: the read is over, and its result tells the rest.
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return std::nullopt;
    }
    // Cancel() may have run between the check before the transfer and its
    // start; its CancelIoEx then found nothing to cancel, so do it here.
    if (cancelled_) ::CancelIoEx(pipe_.get(), &overlapped);
    // Wait even when cancelled: the OVERLAPPED and the buffer must outlive
    // the transfer.
    DWORD transferred = 0;
    if (!::GetOverlappedResult(pipe_.get(), &overlapped, &transferred, TRUE)) return std::nullopt;
    return transferred;
}

void PipeReportLink::Cancel() {
    cancelled_ = true;
    ::CancelIoEx(pipe_.get(), nullptr);
    End();
}

void PipeReportLink::End() {
    ended_ = true;
    // The client's pending and later reads and writes fail at once instead
    // of waiting for a reader that will not answer any more.
    ::DisconnectNamedPipe(pipe_.get());
}
