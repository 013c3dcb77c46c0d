#include "framework/thread_mailbox.h"

#include <system_error>

#include "framework/module_state.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
ModuleWindowClass mailboxClass(L"VeldorinctlThreadMailbox");

}  // namespace

CThreadMailbox::CThreadMailbox(std::function<void()> onWake) : onWake_(std::move(onWake)) {
    windowClass_ = mailboxClass.Acquire(&WindowProc);
    if (!windowClass_) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "RegisterClassExW");
    }
    window_.reset(::CreateWindowExW(0, mailboxClass.Name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    AfxGetInstanceHandle(), nullptr));
    if (!window_) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateWindowExW");
    }
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CThreadMailbox::~CThreadMailbox() {
    Close();
}

void CThreadMailbox::Post(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    queue_.push_back(std::move(text));
    // One wake-up covers everything queued until the owner drains.
    if (!wakePending_) wakePending_ = ::PostMessageW(window_.get(), kWakeMessage, 0, 0) != FALSE;
}

std::optional<std::string> CThreadMailbox::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || queue_.empty()) return std::nullopt;
    std::string text = std::move(queue_.front());
    queue_.pop_front();
    return text;
}

void CThreadMailbox::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    queue_.clear();
}

LRESULT CALLBACK CThreadMailbox::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kWakeMessage) return ::DefWindowProcW(window, message, wParam, lParam);
    auto* mailbox = reinterpret_cast<CThreadMailbox*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!mailbox) return 0;
    {
        std::lock_guard<std::mutex> lock(mailbox->mutex_);
        mailbox->wakePending_ = false;
    }
    // The wake-up function may end the mailbox's owner (a sink releasing the
    // control), so it runs from a copy and nothing touches the mailbox after.
    const std::function<void()> wake = mailbox->onWake_;
    wake();
    return 0;
}
