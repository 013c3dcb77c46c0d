// A view of a file mapping, unmapped with UnmapViewOfFile; null when none.
#pragma once

#include <windows.h>

#include "win32/unique_resource.h"

struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type view) { ::UnmapViewOfFile(view); }
};
using UniqueMappedView = UniqueResource<MappedViewTraits>;
