#include "framework/thread_wakeup.h"

#include <system_error>

#include "framework/module_state.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT_PTR kWatchTimer = 1;
ModuleWindowClass wakeupClass(L"VeldorinctlThreadWakeup");

}  // namespace

CThreadWakeup::CThreadWakeup(std::function<void()> onWake, PostFunction post)
    : m_onWake(std::move(onWake)), m_post(std::move(post)) {
    m_windowClass = wakeupClass.Acquire(&WindowProc);
    if (!m_windowClass) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "RegisterClassExW");
    }
    m_window.reset(::CreateWindowExW(0, wakeupClass.Name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     AfxGetInstanceHandle(), nullptr));
    if (!m_window) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateWindowExW");
    }
    ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CThreadWakeup::~CThreadWakeup() {
    Close();
}

void CThreadWakeup::Wake() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || m_wakePending) return;
    // A message that cannot be posted is tried again by the next Wake(),
    // and the watch timer stands in for it meanwhile.
    m_wakePending = m_post(m_window.get(), kWakeMessage, 0, 0) != FALSE;
}

void CThreadWakeup::Watch(bool on) {
    if (on == m_watching) return;
    m_watching = on;
    if (on)
        ::SetTimer(m_window.get(), kWatchTimer, kWatchIntervalMs, nullptr);
    else
        ::KillTimer(m_window.get(), kWatchTimer);
}

void CThreadWakeup::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
}

void CThreadWakeup::OnWakeMessage() {
    {
        // Also on the timer: a wake-up message the host took without
        // dispatching it would otherwise hold back every later one.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wakePending = false;
        if (m_closed) return;
    }
    // The wake-up function may end the wakeup's owner (a sink releasing the
    // control), so it runs from a copy and nothing touches the wakeup after.
    const std::function<void()> wake = m_onWake;
    wake();
}

LRESULT CALLBACK CThreadWakeup::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool wakes = message == kWakeMessage || (message == WM_TIMER && wParam == kWatchTimer);
    if (!wakes) return ::DefWindowProcW(window, message, wParam, lParam);
    auto* wakeup = reinterpret_cast<CThreadWakeup*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (wakeup) wakeup->OnWakeMessage();
    return 0;
}
