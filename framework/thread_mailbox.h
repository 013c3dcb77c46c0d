// Hands text from any thread to the thread that created the mailbox.
//
// The mailbox owns a message-only window on its creating thread. Post()
// queues the text under a lock and posts a bare wake-up message (never a
// pointer: a message still queued when the window dies would leak it). When
// that thread pumps messages, the window procedure calls the wake-up
// function, which takes the texts in order with Take(). Nothing is delivered
// on the posting thread, and nothing before the owner pumps.
//
// Close() (and destruction, on the owning thread) drops what is queued and
// every later Post().
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "framework/window_class.h"
#include "win32/unique_window.h"

class CThreadMailbox {
public:
    // Throws std::system_error when the window cannot be created.
    explicit CThreadMailbox(std::function<void()> onWake);
    ~CThreadMailbox();
    CThreadMailbox(const CThreadMailbox&) = delete;
    CThreadMailbox& operator=(const CThreadMailbox&) = delete;

    // Any thread. Never waits for the owning thread.
    void Post(std::string text);
    // The owning thread: the next text in posting order, or nothing.
    std::optional<std::string> Take();
    void Close();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> m_onWake;
    std::mutex m_mutex;  // guards the fields below
    std::deque<std::string> m_queue;
    bool m_wakePending = false;
    bool m_closed = false;
    ModuleWindowClass::Use m_windowClass;  // outlives the window
    UniqueWindow m_window;                 // last: destroyed first
};
