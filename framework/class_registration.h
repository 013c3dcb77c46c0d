// Registry entries of a control class and of a property page class under
// HKEY_CLASSES_ROOT, and their removal.
#pragma once

#include <windows.h>

// Registration flags. Only the threading models are supported; a class is
// never registered as insertable, and a request for it fails.
enum : int {
    afxRegDefault = 0x0000,
    afxRegInsertable = 0x0001,
    afxRegApartmentThreading = 0x0002,
    afxRegFreeThreading = 0x0004,
};

// Writes the control's class key (type name, ProgID, InprocServer32,
// ToolboxBitmap32, MiscStatus, Control, TypeLib, Version) and its ProgID key,
// then the threading model the flags ask for. TRUE on success.
BOOL AfxOleRegisterControlClass(HINSTANCE instance, REFCLSID clsid, LPCSTR progId, UINT idTypeName, UINT idBitmap,
                                int regFlags, DWORD miscStatus, REFGUID tlid, WORD verMajor, WORD verMinor);

// Writes a property page's class key: type name and InprocServer32.
BOOL AfxOleRegisterPropertyPageClass(HINSTANCE instance, REFCLSID clsid, UINT idTypeName, int regFlags);

// Removes the class key and, when `progId` is given, the ProgID key. When
// the class key also holds a 16-bit server ("InprocServer"), only the
// InprocServer32 and ToolboxBitmap32 subkeys go. Absent keys count as
// removed.
BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR progId);
