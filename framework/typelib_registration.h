// Registration of a module's type library.
#pragma once

#include <windows.h>

// Loads the type library held by the module file itself (or, when
// `fileName` is given, the file of that name beside the module), checks that
// its id is `tlid`, and registers it with the module's path as its location
// and `helpDir` (may be null) as its help directory. TRUE on success.
BOOL AfxOleRegisterTypeLib(HINSTANCE instance, REFGUID tlid, LPCWSTR fileName = nullptr, LPCWSTR helpDir = nullptr);

// Removes every 64-bit registration of the library. Versions and locales
// that also hold a 32-bit registration keep it and the rest of their
// entries; when no 32-bit registration remains, the library's whole key
// goes. When the library (version `verMajor`.`verMinor`, locale `lcid`) can
// no longer be loaded afterwards, the entries of its interfaces go too.
// Entries already absent count as removed. TRUE on success.
BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD verMajor, WORD verMinor, LCID lcid);
