#include "framework/thread_wakeup.h"

#include <system_error>

#include "framework/module_state.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
ModuleWindowClass wakeupClass(L"VeldorinctlThreadWakeup");

}  // namespace

CThreadWakeup::CThreadWakeup(std::function<void()> onWake) : m_onWake(std::move(onWake)) {
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
    // A message that cannot be posted is tried again by the next Wake().
    m_wakePending = ::PostMessageW(m_window.get(), kWakeMessage, 0, 0) != FALSE;
}

void CThreadWakeup::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
}

LRESULT CALLBACK CThreadWakeup::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kWakeMessage) return ::DefWindowProcW(window, message, wParam, lParam);
    auto* wakeup = reinterpret_cast<CThreadWakeup*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!wakeup) return 0;
    {
        std::lock_guard<std::mutex> lock(wakeup->m_mutex);
        wakeup->m_wakePending = false;
        if (wakeup->m_closed) return 0;
    }
    // The wake-up function may end the wakeup's owner (a sink releasing the
    // control), so it runs from a copy and nothing touches the wakeup after.
    const std::function<void()> wake = wakeup->m_onWake;
    wake();
    return 0;
}
