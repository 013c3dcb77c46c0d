// A window owned by the thread that created it, destroyed with DestroyWindow
// (which must run on that thread).
#pragma once

#include <windows.h>

#include "win32/unique_resource.h"

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type window) { ::DestroyWindow(window); }
};
using UniqueWindow = UniqueResource<WindowTraits>;
