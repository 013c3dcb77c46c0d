// The module whose resources the resource and type library tests read: a DLL
// linked from the same resource object as the OCX, built beside the tests.
#pragma once

#include <windows.h>

#include <string>

#include "win32/module_file_name.h"

namespace veldorinctl::test {

inline std::wstring ResourceModulePath() {
    std::wstring path = ModuleFileName<wchar_t>(nullptr);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"veldorinctl_resources_probe.dll";
}

}  // namespace veldorinctl::test
