// Component categories: defining one, and entering a class in one, through
// the platform's component categories manager.
#pragma once

#include <windows.h>

#include <comcat.h>

// Controls that hosts may let scripts call, and initialise from data.
inline constexpr CATID CATID_SafeForScripting = {
    0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr CATID CATID_SafeForInitializing = {
    0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

// The longest description a category record holds, without its terminator.
inline constexpr size_t kMaxCategoryDescription = 127;

// Defines the category with `description` (cut to its first 127 UTF-16
// units) in the locale 0x409.
HRESULT RegisterComponentCategory(REFCATID catid, const wchar_t* description);

// Records that `clsid` implements `catid`.
HRESULT RegisterClassInCategory(REFCLSID clsid, REFCATID catid);
