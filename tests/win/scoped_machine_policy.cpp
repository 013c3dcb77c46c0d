#include "tests/win/scoped_machine_policy.h"

#include "control/win32/machine_policy.h"
#include "win32/unique_reg_key.h"
#include "sitelock/policy_names.h"

namespace veldorinctl::test {

ScopedMachinePolicy::ScopedMachinePolicy() {
    Remove();
}

ScopedMachinePolicy::~ScopedMachinePolicy() {
    Remove();
}

void ScopedMachinePolicy::Remove() {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, WidePolicyName(kPolicyKeyPath).c_str(), KEY_WOW64_64KEY, 0);
}

bool ScopedMachinePolicy::Write(const char* name, DWORD type, const void* data, DWORD size) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, WidePolicyName(kPolicyKeyPath).c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.get(), WidePolicyName(name).c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool ScopedMachinePolicy::SetAllowedSites(const std::vector<std::wstring>& entries) {
    std::wstring list;
    for (const std::wstring& entry : entries) list += entry + L'\0';
    list += L'\0';
    return Write(kAllowedSitesValue, REG_MULTI_SZ, list.data(), static_cast<DWORD>(list.size() * sizeof(wchar_t)));
}

bool ScopedMachinePolicy::SetAllowedSitesOfWrongType(const std::wstring& text) {
    return Write(kAllowedSitesValue, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool ScopedMachinePolicy::SetExchangeTimeoutSeconds(DWORD seconds) {
    return Write(kExchangeTimeoutValue, REG_DWORD, &seconds, sizeof seconds);
}

bool ScopedMachinePolicy::SetTraceLevel(DWORD level) {
    return Write(kTraceLevelValue, REG_DWORD, &level, sizeof level);
}

bool ScopedMachinePolicy::SetTraceFolder(const std::wstring& folder) {
    return Write(kTraceFolderValue, REG_SZ, folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

}  // namespace veldorinctl::test
