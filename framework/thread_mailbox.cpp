#include "framework/thread_mailbox.h"

#include <system_error>

#include "framework/module_state.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VeldorinctlThreadMailbox";

// The window class lives while any mailbox does: a DLL's classes are not
// unregistered for it when it unloads, and a class left behind would point
// at code that is gone.
std::mutex classMutex;
unsigned classUsers = 0;

void AcquireWindowClass(WNDPROC procedure) {
    std::lock_guard<std::mutex> lock(classMutex);
    if (classUsers == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = AfxGetInstanceHandle();
        windowClass.lpszClassName = kWindowClass;
        if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "RegisterClassExW");
        }
    }
    ++classUsers;
}

void ReleaseWindowClass() {
    std::lock_guard<std::mutex> lock(classMutex);
    if (--classUsers == 0) ::UnregisterClassW(kWindowClass, AfxGetInstanceHandle());
}

}  // namespace

CThreadMailbox::CThreadMailbox(std::function<void()> onWake) : onWake_(std::move(onWake)) {
    AcquireWindowClass(&WindowProc);
    window_.reset(
        ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, AfxGetInstanceHandle(), nullptr));
    if (!window_) {
        const DWORD error = ::GetLastError();
        ReleaseWindowClass();
        throw std::system_error(static_cast<int>(error), std::system_category(), "CreateWindowExW");
    }
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CThreadMailbox::~CThreadMailbox() {
    Close();
    window_.reset();
    ReleaseWindowClass();
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
