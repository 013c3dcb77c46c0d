// Text of the module's string table.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The string `id` of this module's string table, or nothing when the table
// does not hold it.
inline std::optional<std::wstring> LoadResourceString(HINSTANCE module, UINT id) {
    const wchar_t* text = nullptr;
    // With a length of 0 the call hands out a pointer into the resource
    // itself, so no length limit applies.
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return std::nullopt;
    return std::wstring(text, static_cast<size_t>(length));
}
