#include "tools/pagehost/server_modules.h"

#include <objbase.h>

#include <algorithm>

namespace pagehost {
namespace {

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The registered path of `classId`'s in-process server, environment
// variables expanded; empty when there is none.
std::wstring InprocServerPath(const CLSID& classId) {
    wchar_t text[64] = {};
    if (!StringFromGUID2(classId, text, 64)) return {};
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    DWORD bytes = 0;
    // REG_EXPAND_SZ values come expanded, as REG_SZ: asking for both types
    // without RRF_NOEXPAND is refused.
    constexpr DWORD kText = RRF_RT_REG_SZ;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kText, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return {};
    std::wstring path(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kText, nullptr, path.data(), &bytes) != ERROR_SUCCESS)
        return {};
    path.resize(wcsnlen(path.c_str(), path.size()));
    return path;
}

}  // namespace

ServerModules::~ServerModules() {
    for (HMODULE module : modules_) FreeLibrary(module);
}

HMODULE ServerModules::Hold(HMODULE module) {
    if (!module) return nullptr;
    if (std::find(modules_.begin(), modules_.end(), module) != modules_.end()) {
        FreeLibrary(module);  // already held once
        return module;
    }
    modules_.push_back(module);
    return module;
}

HMODULE ServerModules::Load(const std::wstring& path) {
    return Hold(LoadLibraryW(path.c_str()));
}

HMODULE ServerModules::OfRegisteredClass(const CLSID& classId) {
    const std::wstring path = InprocServerPath(classId);
    HMODULE module = nullptr;
    // The module COM has loaded, with a reference of our own: it must not
    // go away while pagehost still asks it.
    if (path.empty() || !GetModuleHandleExW(0, path.c_str(), &module)) return nullptr;
    return Hold(module);
}

std::vector<ServerModules::Answer> ServerModules::AskCanUnloadNow() const {
    std::vector<Answer> answers;
    for (HMODULE module : modules_) {
        using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
        const auto entry =
            reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        answers.push_back({ModulePath(module), entry ? entry() : E_NOTIMPL});
    }
    return answers;
}

}  // namespace pagehost
