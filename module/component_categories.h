// Component categories: defining one, and entering a class in one, through
// the platform's component categories manager.
#pragma once

#include <windows.h>

#include <comcat.h>

#include "module/registry_table.h"

// Controls that hosts may let scripts call, and initialise from data.
inline constexpr CATID CATID_SafeForScripting =
    veldorinctl::guid_text::Parse(veldorinctl::registration::kSafeForScriptingId);
inline constexpr CATID CATID_SafeForInitializing =
    veldorinctl::guid_text::Parse(veldorinctl::registration::kSafeForInitializingId);

// The longest description a category record holds, without its terminator.
inline constexpr size_t kMaxCategoryDescription = 127;

// Defines the category with `description` (cut to its first 127 UTF-16
// units) in the locale 0x409.
HRESULT RegisterComponentCategory(REFCATID catid, const wchar_t* description);

// Records that `clsid` implements `catid`.
HRESULT RegisterClassInCategory(REFCLSID clsid, REFCATID catid);
