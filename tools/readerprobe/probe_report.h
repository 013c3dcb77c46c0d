// What readerprobe finds, before it is written as text or as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_interface.h"
#include "sitelock/site_policy.h"

struct InterfaceFinding {
    HidInterfaceSeen seen;
    // Taken: a reader; else why it is none (OtherIdentity when its identity
    // is neither reader identity).
    HidInterfaceVerdict verdict;
    std::string openErrorText;  // the system's words for seen.openError
};

// The reader DevOpen takes: the first interface of the first identity,
// else of the second.
struct ReaderFinding {
    ReaderIdentity identity;
    std::string path;
    uint16_t reportLength;
};

struct FileFinding {
    std::string path;     // as the registry names it
    bool exists = false;  // whether that file is there
    std::string version;  // its file version, "" when it has none
};

// The control's class in one registry scope and view.
struct RegistrationFinding {
    const char* scope = "";  // "machine" (HKLM\Software\Classes) or "user" (HKCU\Software\Classes)
    const char* view = "";   // "64-bit" or "32-bit"
    bool registered = false;
    std::string className;
    std::string threadingModel;
    FileFinding server;       // InprocServer32
    std::string typeLibrary;  // its id, from the class's TypeLib key
    FileFinding typeLibraryFile;
};

// Internet Explorer's kill bit for the class, in one registry view.
struct KillBitFinding {
    const char* view = "";
    std::optional<uint32_t> flags;  // "Compatibility Flags", when present
    bool Set() const { return flags && (*flags & 0x400) != 0; }
};

// One exchange made as DevCall makes it.
struct CallFinding {
    int32_t handle = 0;
    std::string answer;  // Base64, "" when none came
    std::string trace;   // the line the control's trace writes for it
};

struct ProbeReport {
    std::string version;       // readerprobe's, the control's version
    std::string architecture;  // "x64" or "x86"
    std::vector<InterfaceFinding> interfaces;
    std::optional<ReaderFinding> reader;
    std::vector<RegistrationFinding> registrations;
    std::vector<KillBitFinding> killBits;
    MachinePolicy policy;
    std::string traceFolder;  // where this user's trace would go
    std::optional<std::string> url;
    std::optional<SiteVerdict> verdict;  // with url
    std::optional<CallFinding> call;
};
