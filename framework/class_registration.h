// Registry entries of a class under HKEY_CLASSES_ROOT, and their removal.
//
// For registration of one user, the caller points HKEY_CLASSES_ROOT at the
// user's classes first (ScopedClassesRoot); everything here follows it.
#pragma once

#include <windows.h>

#include <span>

#include "framework/registry_entry.h"

// Writes `entries` in their order under HKEY_CLASSES_ROOT: every value a
// REG_SZ string written with the wide API, the module's full file name in
// place of kModulePathPlaceholder; values already there are replaced, other
// subkeys and values stay. When a write fails, the class is unregistered
// again (AfxOleUnregisterClass), so no half-written class stays behind.
// TRUE when every value was written.
BOOL AfxOleRegisterClass(HINSTANCE instance, REFCLSID clsid, LPCSTR progId, std::span<const RegistryEntry> entries);

// Removes the class key and, when `progId` is given, the ProgID key. When
// the class key also holds a 16-bit server ("InprocServer"), only the
// InprocServer32 and ToolboxBitmap32 subkeys go. The ProgID key is shared
// by the 32-bit and the 64-bit registry views: it stays while the other
// view still holds the class. Absent keys count as removed.
BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR progId);
