// The interface class under which the fakes list their readers.
#pragma once

#include <windows.h>

// {4D1E55B2-F16F-11CF-88CB-001111000030}: the HID device interface class.
inline constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
