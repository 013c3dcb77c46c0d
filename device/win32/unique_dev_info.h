// A SetupAPI device information list, destroyed with
// SetupDiDestroyDeviceInfoList; INVALID_HANDLE_VALUE when nothing is held.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include "win32/unique_resource.h"

struct DevInfoTraits {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDevInfo = UniqueResource<DevInfoTraits>;
