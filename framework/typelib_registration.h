// Registration of a module's type library.
#pragma once

#include <windows.h>

// Loads the type library held by the module file itself (or, when
// `fileName` is given, the file of that name beside the module), checks that
// its id is `tlid`, and registers it with the module's path as its location
// and `helpDir` (may be null) as its help directory. TRUE on success.
BOOL AfxOleRegisterTypeLib(HINSTANCE instance, REFGUID tlid, LPCWSTR fileName = nullptr, LPCWSTR helpDir = nullptr);
// The same for the current user alone (RegisterTypeLibForUser), with no
// other file name and no help directory.
BOOL AfxOleRegisterTypeLibForUser(HINSTANCE instance, REFGUID tlid);

// The platform key a library of this module's architecture registers
// under (its SYSKIND): "win64" in a 64-bit module, "win32" in a 32-bit one.
inline constexpr const char* kTypeLibPlatform = sizeof(void*) == 8 ? "win64" : "win32";

// Removes every registration of the library under kTypeLibPlatform.
// Versions and locales that also hold another platform's registration keep
// it and the rest of their entries; when no other platform's registration
// remains, the library's whole key goes. When the library (version `verMajor`.`verMinor`, locale `lcid`) can
// no longer be loaded afterwards, the entries of its interfaces go too.
// Entries already absent count as removed. TRUE on success.
BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD verMajor, WORD verMinor, LCID lcid);
