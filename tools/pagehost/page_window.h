// The window the page is shown in: the controls sit in it one below the
// other, and the page's text is drawn under them. Closing it ends the page.
#pragma once

#include <windows.h>

#include <string>

#include "tools/pagehost/page_session.h"

namespace pagehost {

class PageWindow {
public:
    // An invisible page window still hosts its controls in place. (Under
    // Wine without a window manager, taking a shown window down waits 2 s
    // for the manager that is not there.)
    PageWindow(PageSession& session, const std::wstring& title, bool visible);
    ~PageWindow();
    PageWindow(const PageWindow&) = delete;
    PageWindow& operator=(const PageWindow&) = delete;

    HWND Handle() const { return window_; }
    // The area for the next control of this size, below the previous ones.
    RECT PlaceControl(int width, int height);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    PageSession& session_;
    HWND window_ = nullptr;
    int nextTop_ = 8;
};

}  // namespace pagehost
