// Memory the system allocated for the caller with LocalAlloc (a security
// descriptor made from SDDL, a formatted message), freed with LocalFree.
#pragma once

#include <windows.h>

#include "win32/unique_resource.h"

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type memory) { ::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
