#include "framework/thread_mailbox.h"

#include <system_error>

#include "framework/module_state.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
ModuleWindowClass mailboxClass(L"VeldorinctlThreadMailbox");

}  // namespace

CThreadMailbox::CThreadMailbox(std::function<void()> onWake) : m_onWake(std::move(onWake)) {
    m_windowClass = mailboxClass.Acquire(&WindowProc);
    if (!m_windowClass) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "RegisterClassExW");
    }
    m_window.reset(::CreateWindowExW(0, mailboxClass.Name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     AfxGetInstanceHandle(), nullptr));
    if (!m_window) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateWindowExW");
    }
    ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CThreadMailbox::~CThreadMailbox() {
    Close();
}

void CThreadMailbox::Post(std::string text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return;
    m_queue.push_back(std::move(text));
    // One wake-up covers everything queued until the owner drains.
    if (!m_wakePending) m_wakePending = ::PostMessageW(m_window.get(), kWakeMessage, 0, 0) != FALSE;
}

std::optional<std::string> CThreadMailbox::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || m_queue.empty()) return std::nullopt;
    std::string text = std::move(m_queue.front());
    m_queue.pop_front();
    return text;
}

void CThreadMailbox::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_queue.clear();
}

LRESULT CALLBACK CThreadMailbox::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kWakeMessage) return ::DefWindowProcW(window, message, wParam, lParam);
    auto* mailbox = reinterpret_cast<CThreadMailbox*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!mailbox) return 0;
    {
        std::lock_guard<std::mutex> lock(mailbox->m_mutex);
        mailbox->m_wakePending = false;
    }
    // The wake-up function may end the mailbox's owner (a sink releasing the
    // control), so it runs from a copy and nothing touches the mailbox after.
    const std::function<void()> wake = mailbox->m_onWake;
    wake();
    return 0;
}
