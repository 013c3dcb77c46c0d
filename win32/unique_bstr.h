// An owned automation string. The empty value is the null BSTR, which the
// automation convention also reads as the empty string; SysFreeString frees.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "win32/unique_resource.h"

struct BstrTraits {
    using Type = BSTR;
    static Type Invalid() { return nullptr; }
    static void Close(Type text) { ::SysFreeString(text); }
};
using UniqueBstr = UniqueResource<BstrTraits>;
