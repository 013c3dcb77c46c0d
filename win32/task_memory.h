// Text handed to a COM caller, which frees it with CoTaskMemFree.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <string_view>

// A zero-terminated copy of `text` in task memory; null when there is none.
inline LPOLESTR CopyToTaskMemory(std::wstring_view text) {
    auto* copy = static_cast<LPOLESTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy) *std::copy(text.begin(), text.end(), copy) = L'\0';
    return copy;
}
