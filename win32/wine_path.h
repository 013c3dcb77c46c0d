// Under Wine a developer naturally writes a Unix path ("/home/..."); Wine's
// kernel32 can turn it into the Windows one. On Windows the conversion does
// not exist.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The Windows path of the Unix path `unixPath` (8-bit text, as the Unix side
// spells it) when running under Wine; nothing on Windows, for a path that
// does not start with '/', or when Wine cannot convert it.
inline std::optional<std::wstring> WineWindowsPath(const std::string& unixPath) {
    if (unixPath.empty() || unixPath[0] != '/') return std::nullopt;
    using ToDos = WCHAR*(CDECL*)(const char*);
    const auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return std::nullopt;
    WCHAR* dos = toDos(unixPath.c_str());
    if (!dos) return std::nullopt;
    std::wstring converted(dos);
    ::HeapFree(::GetProcessHeap(), 0, dos);
    return converted;
}
