#include "tools/pagehost/page_window.h"

#include <algorithm>

namespace pagehost {
namespace {

constexpr wchar_t kClassName[] = L"PagehostPage";
constexpr int kMargin = 8;

void RegisterPageClass(WNDPROC procedure) {
    static const bool registered = [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

}  // namespace

PageWindow::PageWindow(PageSession& session, const std::wstring& title, bool visible) : session_(session) {
    RegisterPageClass(&PageWindow::Procedure);
    window_ = CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 720, 540,
                              nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!window_) return;
    session_.SetWindow(window_);
    if (visible) {
        ShowWindow(window_, SW_SHOWNORMAL);
        UpdateWindow(window_);
    }
}

PageWindow::~PageWindow() {
    if (!window_) return;
    session_.SetWindow(nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

RECT PageWindow::PlaceControl(int width, int height) {
    const RECT area{kMargin, nextTop_, kMargin + std::max(width, 0), nextTop_ + std::max(height, 0)};
    nextTop_ = area.bottom + kMargin;
    return area;
}

LRESULT CALLBACK PageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* page = reinterpret_cast<PageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (page) {
        switch (message) {
            case WM_PAINT:
                page->Paint();
                return 0;
            case WM_CLOSE:
                // The user closed the page: it ends as a page that exited.
                page->session_.RequestExit(0);
                return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void PageWindow::Paint() {
    PAINTSTRUCT paint;
    const HDC context = BeginPaint(window_, &paint);
    SetBkMode(context, TRANSPARENT);
    SelectObject(context, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    const int lineHeight = std::max<int>(metrics.tmHeight, 12);
    RECT client{};
    GetClientRect(window_, &client);
    // The latest lines that fit under the controls.
    const auto& lines = session_.Shown();
    const int fit = std::max(1, (static_cast<int>(client.bottom) - nextTop_) / lineHeight);
    const size_t first = lines.size() > static_cast<size_t>(fit) ? lines.size() - static_cast<size_t>(fit) : 0;
    int top = nextTop_;
    for (size_t i = first; i < lines.size(); ++i, top += lineHeight)
        TextOutW(context, kMargin, top, lines[i].c_str(), static_cast<int>(lines[i].size()));
    EndPaint(window_, &paint);
}

}  // namespace pagehost
