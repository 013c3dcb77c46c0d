#include "tools/pagehost/page_session.h"

#include <cstdio>

#include "tools/pagehost/automation.h"

namespace pagehost {

PageSession::PageSession() : pageThread_(GetCurrentThreadId()) {}

void PageSession::Echo(std::wstring_view text) {
    // A page that exited shows nothing more, even from a finally block.
    if (exitRequested_) return;
    const std::string line = Narrow(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    shown_.emplace_back(text);
    if (window_) InvalidateRect(window_, nullptr, TRUE);
}

void PageSession::RequestExit(int code) {
    if (exitRequested_) return;
    exitRequested_ = true;
    exitCode_ = code;
}

void PumpPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PumpMessagesFor(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        PumpPendingMessages();
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    PumpPendingMessages();
}

void PageSession::Wait(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        PumpPendingMessages();
        const ULONGLONG now = GetTickCount64();
        if (exitRequested_ || now >= deadline) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace pagehost
