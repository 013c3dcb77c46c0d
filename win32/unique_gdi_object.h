// Owned GDI objects (fonts, bitmaps, brushes) and memory device contexts,
// each freed with its own function. An object must no longer be selected
// into a context when it is freed (see selected_object.h).
#pragma once

#include <windows.h>

#include "win32/unique_resource.h"

template <typename Object>
struct GdiObjectTraits {
    using Type = Object;
    static Type Invalid() { return nullptr; }
    static void Close(Type object) { ::DeleteObject(object); }
};
using UniqueFont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueResource<GdiObjectTraits<HBITMAP>>;

struct MemoryDCTraits {  // CreateCompatibleDC
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { ::DeleteDC(dc); }
};
using UniqueMemoryDC = UniqueResource<MemoryDCTraits>;
