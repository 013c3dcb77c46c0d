#include "framework/window_class.h"

#include "framework/module_state.h"

ModuleWindowClass::Use ModuleWindowClass::Acquire(WNDPROC procedure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = style_;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = AfxGetInstanceHandle();
        windowClass.hCursor = cursor_ ? ::LoadCursorW(nullptr, cursor_) : nullptr;
        windowClass.lpszClassName = name_;
        if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return Use();
    }
    ++users_;
    return Use(this);
}

void ModuleWindowClass::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--users_ == 0) ::UnregisterClassW(name_, AfxGetInstanceHandle());
}
