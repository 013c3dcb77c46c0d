// What the page's objects share with the host: the page's thread, the
// request to end the page, the text the page shows, and waiting while
// messages (and with them the controls' events) keep flowing.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace pagehost {

class PageSession {
public:
    PageSession();

    DWORD PageThread() const { return pageThread_; }

    // The page's text: to stdout at once, and into the page window.
    void Echo(std::wstring_view text);
    const std::vector<std::wstring>& Shown() const { return shown_; }

    void RequestExit(int code);
    bool ExitRequested() const { return exitRequested_; }
    int ExitCode() const { return exitCode_; }

    // Pumps this thread's messages for `milliseconds`, or until the page
    // asks to exit.
    void Wait(DWORD milliseconds);

    void SetWindow(HWND window) { window_ = window; }
    HWND Window() const { return window_; }

    // Events that reached the page on a thread other than its own.
    void CountForeignThreadEvent() { ++foreignThreadEvents_; }
    int ForeignThreadEvents() const { return foreignThreadEvents_; }

private:
    DWORD pageThread_;
    HWND window_ = nullptr;
    std::vector<std::wstring> shown_;
    bool exitRequested_ = false;
    int exitCode_ = 0;
    int foreignThreadEvents_ = 0;
};

// Dispatches every message waiting on this thread.
void PumpPendingMessages();
// Dispatches this thread's messages for `milliseconds`, whatever the page.
void PumpMessagesFor(DWORD milliseconds);

}  // namespace pagehost
