// Every function the fake DLLs export is called from C or through the
// Windows API: nothing may be thrown out of it.
#pragma once

#include <windows.h>

// Runs `body`; on an exception sets `error` as the last error and returns
// `failure` instead.
template <typename Result, typename Body>
Result Guarded(Result failure, DWORD error, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        ::SetLastError(error);
        return failure;
    }
}

// {4D1E55B2-F16F-11CF-88CB-001111000030}: the HID device interface class.
inline constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
