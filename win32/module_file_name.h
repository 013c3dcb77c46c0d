// A module's full file name, however long the path.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>

// The file name of `module` (null: the program) in 8-bit (char) or UTF-16
// (wchar_t) text; empty when it cannot be had.
template <typename Char>
std::basic_string<Char> ModuleFileName(HMODULE module) {
    static_assert(std::is_same_v<Char, char> || std::is_same_v<Char, wchar_t>);
    std::basic_string<Char> path(MAX_PATH, Char{});
    for (;;) {
        const auto size = static_cast<DWORD>(path.size());
        DWORD length;
        if constexpr (std::is_same_v<Char, char>) {
            length = ::GetModuleFileNameA(module, path.data(), size);
        } else {
            length = ::GetModuleFileNameW(module, path.data(), size);
        }
        if (length == 0) return {};
        if (length < size) {  // a truncated name fills the buffer exactly
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
