// An open registry key, closed with RegCloseKey; null when nothing is open.
#pragma once

#include <windows.h>

#include "win32/unique_resource.h"

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { ::RegCloseKey(key); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;
