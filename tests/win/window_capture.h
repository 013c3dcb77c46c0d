// What the window tests need of the desktop: the windows of this process,
// their texts, pictures of them, and files of those pictures a person can
// look at after the run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace veldorinctl::test {

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);

// A visible top-level window of this process that `wanted` accepts, waited
// for up to `timeoutMs`; null when none came.
HWND WaitForTopLevelWindow(const std::function<bool(HWND)>& wanted, int timeoutMs = 10000);

// Every descendant of `window`, depth first.
std::vector<HWND> DescendantsOf(HWND window);

// The colours (0x00RRGGBB) of the screen's pixels in `area` (screen
// coordinates), row by row.
std::vector<DWORD> CapturePixels(const RECT& area);

// Writes a 24-bit BMP of what the screen shows of `window` to the
// "screenshots" folder beside the test program; the file's path, or empty
// when it could not be written.
std::wstring SaveScreenshot(HWND window, const wchar_t* name);

}  // namespace veldorinctl::test
