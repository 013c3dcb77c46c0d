// Wakes the thread that created it, from any thread: the way a worker tells
// an apartment-model object's thread that there is something to pick up.
//
// It owns a message-only window on its creating thread. Wake() posts a bare
// message (one at a time: wake-ups coalesce until the owner has run); when
// that thread pumps messages, the window procedure calls the wake-up
// function there. The data itself waits wherever the caller keeps it, so a
// wake-up still queued when the window dies loses nothing but itself.
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
    // Throws std::system_error when the window cannot be created.
    explicit CThreadWakeup(std::function<void()> onWake);
    ~CThreadWakeup();
    CThreadWakeup(const CThreadWakeup&) = delete;
    CThreadWakeup& operator=(const CThreadWakeup&) = delete;

    // Any thread. Never waits for the owning thread.
    void Wake();
    void Close();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> m_onWake;
    std::mutex m_mutex;  // guards the two fields below
    bool m_wakePending = false;
    bool m_closed = false;
    ModuleWindowClass::Use m_windowClass;  // outlives the window
    UniqueWindow m_window;                 // last: destroyed first
};
