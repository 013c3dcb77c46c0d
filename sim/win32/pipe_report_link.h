// The reader's end of one client connection over a message-mode named pipe:
// how the simulated reader is reached on Windows and under Wine, where the
// client opens the pipe's path with CreateFile as it would a HID interface.
//
// Each report is one pipe message. A HID handle never returns part of a
// report nor two reports at once, but a pipe client reads in byte mode
// unless it asks otherwise (a HID client never does), and then one ReadFile
// may return two queued messages. So the pipe is created without an
// outbound buffer, and WriteReport returns only once the client has read the
// report: the next report is never queued behind an unread one.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "device/report_link.h"
#include "win32/unique_resource.h"

class PipeReportLink final : public ReportLink {
public:
    // Creates a new instance of the pipe at `path` (\\.\pipe\...) and starts
    // waiting for a client on it. Null when the instance cannot be created.
    static std::unique_ptr<PipeReportLink> Listen(const std::string& path);

    ~PipeReportLink() override;
    PipeReportLink(const PipeReportLink&) = delete;
    PipeReportLink& operator=(const PipeReportLink&) = delete;

    // Signalled when a client has opened this instance or waiting failed;
    // lets a server wait on several instances and a stop event at once.
    HANDLE ConnectEvent() const { return connectEvent_.get(); }
    // After ConnectEvent() was signalled: true when a client is connected.
    bool FinishConnect();
    // Whether a client has this instance open, as the pipe knows it now:
    // ConnectEvent() may be signalled a moment later.
    bool HasClient() const;

    // One report to the client; returns once the client has read it.
    bool WriteReport(const uint8_t* report, size_t length) override;
    // One report from the client. A message of another length is no report:
    // it ends the connection.
    bool ReadReport(uint8_t* report, size_t length) override;
    // One message from the client, of any length up to `capacity`: its
    // length, or nothing when the connection failed or ended (a longer
    // message ends it too).
    std::optional<size_t> ReadMessage(uint8_t* buffer, size_t capacity);
    // Disconnects the client (its pending and later I/O on the pipe fails)
    // and fails this end's pending and later I/O.
    void Cancel() override;

    // True once nothing can move any more: the client closed its handle,
    // the connection failed, or Cancel() ran.
    bool Ended() const { return ended_; }

private:
    PipeReportLink(UniqueFileHandle pipe, UniqueHandle connectEvent, UniqueHandle readEvent, UniqueHandle writeEvent);
    // Waits for a transfer that ReadFile/WriteFile returned `started` for;
    // how many bytes it moved, or nothing when it failed.
    std::optional<DWORD> Complete(OVERLAPPED& overlapped, BOOL started);
    void End();

    UniqueFileHandle pipe_;
    UniqueHandle connectEvent_;
    UniqueHandle readEvent_;
    UniqueHandle writeEvent_;
    OVERLAPPED connect_{};
    bool connectPending_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
};
