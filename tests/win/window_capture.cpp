#include "tests/win/window_capture.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/win/ocx_client.h"
#include "win32/selected_object.h"
#include "win32/unique_gdi_object.h"
#include "win32/window_dc.h"

namespace veldorinctl::test {

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    ::GetClassNameW(window, name, 128);
    return name;
}

namespace {

struct Search {
    const std::function<bool(HWND)>* wanted;
    HWND found;
};

BOOL CALLBACK ConsiderTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
    if (!(*search->wanted)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

}  // namespace

HWND WaitForTopLevelWindow(const std::function<bool(HWND)>& wanted, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        Search search{&wanted, nullptr};
        ::EnumWindows(&ConsiderTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

std::vector<HWND> DescendantsOf(HWND window) {
    std::vector<HWND> children;
    // EnumChildWindows already walks the children's children.
    ::EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<DWORD> CapturePixels(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    const WindowDC screen(nullptr);
    const UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
    const UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    {
        const SelectedObject selected(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ::GetDIBits(memory.get(), bitmap.get(), 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    for (DWORD& pixel : pixels) pixel &= 0x00FFFFFF;
    return pixels;
}

std::wstring SaveScreenshot(HWND window, const wchar_t* name) {
    RECT area{};
    if (!::GetWindowRect(window, &area)) return L"";
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return L"";
    const std::vector<DWORD> pixels = CapturePixels(area);

    const std::wstring folder = BesideTestProgram(L"screenshots");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name;
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{
        sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, static_cast<DWORD>(stride * height), 0, 0, 0, 0};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    std::vector<char> row(stride, 0);
    for (int y = height - 1; y >= 0; --y) {  // bottom-up
        for (int x = 0; x < width; ++x) {
            const DWORD pixel = pixels[static_cast<size_t>(y) * width + x];
            row[x * 3] = static_cast<char>(pixel & 0xFF);
            row[x * 3 + 1] = static_cast<char>((pixel >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
        out.write(row.data(), stride);
    }
    return out ? path : L"";
}

}  // namespace veldorinctl::test
