// The modules that serve the page's controls, held loaded until the page
// is done with them. Once the page has closed, each one's DllCanUnloadNow
// tells whether the controls it made have all been destroyed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace pagehost {

class ServerModules {
public:
    ServerModules() = default;
    ~ServerModules();
    ServerModules(const ServerModules&) = delete;
    ServerModules& operator=(const ServerModules&) = delete;

    // Loads the module at `path` (a module already held is not loaded
    // twice). Null, with GetLastError set, when it cannot be loaded.
    HMODULE Load(const std::wstring& path);
    // The module that COM loaded for the registered in-process class
    // `classId` (its InprocServer32), held from now on; null when the class
    // has no such entry or that module is not loaded in this process.
    HMODULE OfRegisteredClass(const CLSID& classId);

    struct Answer {
        std::wstring path;
        HRESULT canUnload;  // what DllCanUnloadNow answered
    };
    // Asks every module held whether it can unload now; a module without
    // DllCanUnloadNow answers E_NOTIMPL.
    std::vector<Answer> AskCanUnloadNow() const;

private:
    HMODULE Hold(HMODULE module);  // keeps one reference per module

    std::vector<HMODULE> modules_;
};

}  // namespace pagehost
