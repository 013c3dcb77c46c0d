// A window's device context (null window: the screen's), borrowed with GetDC
// and given back with ReleaseDC, which needs the window it came from.
#pragma once

#include <windows.h>

class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    const HWND window_;
    const HDC dc_;
};
