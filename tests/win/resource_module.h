// The module whose resources the resource and type library tests read: a DLL
// linked from the same resource object as the OCX, built beside the tests.
#pragma once

#include <windows.h>

#include <string>

namespace veldorinctl::test {

inline std::wstring ResourceModulePath() {
    wchar_t exe[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, length);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"veldorinctl_resources_probe.dll";
}

}  // namespace veldorinctl::test
