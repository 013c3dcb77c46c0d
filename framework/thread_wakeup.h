// Wakes the thread that created it, from any thread: the way a worker tells
// an apartment-model object's thread that there is something to pick up.
//
// It owns a message-only window on its creating thread. Wake() posts a bare
// message (one at a time: wake-ups coalesce until the owner has run); when
// that thread pumps messages, the window procedure calls the wake-up
// function there. The data itself waits wherever the caller keeps it, so a
// wake-up still queued when the window dies loses nothing but itself.
//
// A posted message can be lost: posting fails (a full message queue), or
// the host takes the message from its queue without dispatching it. While
// the owner waits for something (Watch(true)), a timer on the window calls
// the wake-up function every kWatchInterval too, so that nothing waits
// longer than that for a lost wake-up.
//
// Close() (and destruction, on the owning thread) ends the wake-up calls.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>

#include "framework/window_class.h"
#include "win32/unique_window.h"

class CThreadWakeup {
public:
    using PostFunction = std::function<BOOL(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;
    static constexpr UINT kWatchIntervalMs = 250;

    // Throws std::system_error when the window cannot be created. `post`
    // posts the wake-up message (PostMessageW).
    explicit CThreadWakeup(std::function<void()> onWake, PostFunction post = &::PostMessageW);
    ~CThreadWakeup();
    CThreadWakeup(const CThreadWakeup&) = delete;
    CThreadWakeup& operator=(const CThreadWakeup&) = delete;

    // Any thread. Never waits for the owning thread.
    void Wake();
    // The owning thread: whether something is awaited, so that the timer
    // runs (see above).
    void Watch(bool on);
    void Close();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void OnWakeMessage();

    std::function<void()> m_onWake;
    PostFunction m_post;
    bool m_watching = false;  // the owning thread's
    std::mutex m_mutex;       // guards the two fields below
    bool m_wakePending = false;
    bool m_closed = false;
    ModuleWindowClass::Use m_windowClass;  // outlives the window
    UniqueWindow m_window;                 // last: destroyed first
};
