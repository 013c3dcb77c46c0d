// The control's machine policy written into the registry's 64-bit view for
// a test, and the whole policy key removed again afterwards, so that other
// tests in the same Wine prefix find no policy.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace veldorinctl::test {

class ScopedMachinePolicy {
public:
    ScopedMachinePolicy();  // starts from no policy at all
    ~ScopedMachinePolicy();
    ScopedMachinePolicy(const ScopedMachinePolicy&) = delete;
    ScopedMachinePolicy& operator=(const ScopedMachinePolicy&) = delete;

    // False when the registry refused the write.
    bool SetAllowedSites(const std::vector<std::wstring>& entries);
    // AllowedSites as a REG_SZ: a value of the wrong type.
    bool SetAllowedSitesOfWrongType(const std::wstring& text);
    bool SetExchangeTimeoutSeconds(DWORD seconds);
    bool SetTraceLevel(DWORD level);
    bool SetTraceFolder(const std::wstring& folder);

    static void Remove();

private:
    bool Write(const char* name, DWORD type, const void* data, DWORD size);
};

}  // namespace veldorinctl::test
