// with_policy: runs a command with the control's machine policy in the
// registry, and removes the policy afterwards whatever the command did.
//
//   with_policy [--site ENTRY]... [--no-sites] [--timeout SECONDS] [--trace-level N] [--trace-folder FOLDER]
//               -- PROGRAM [ARGUMENT]...
//
// --site entries make AllowedSites (none: the value is absent, unless
// --no-sites asks for an empty list). The exit code is the command's.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/win/scoped_machine_policy.h"

namespace {

std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    for (wchar_t c : argument) {
        if (c == L'"') quoted += L'\\';
        quoted += c;
    }
    return quoted + L"\"";
}

int Run(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "with_policy: cannot start the command (%lu)\n", ::GetLastError());
        return 127;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    std::vector<std::wstring> sites;
    bool emptyList = false;
    long timeout = -1;
    long traceLevel = -1;
    std::wstring traceFolder;
    int i = 1;
    for (; i < count && std::wcscmp(arguments[i], L"--") != 0; ++i) {
        const std::wstring argument = arguments[i];
        if (argument == L"--site" && i + 1 < count) {
            sites.push_back(arguments[++i]);
        } else if (argument == L"--no-sites") {
            emptyList = true;
        } else if (argument == L"--timeout" && i + 1 < count) {
            timeout = std::wcstol(arguments[++i], nullptr, 10);
        } else if (argument == L"--trace-level" && i + 1 < count) {
            traceLevel = std::wcstol(arguments[++i], nullptr, 10);
        } else if (argument == L"--trace-folder" && i + 1 < count) {
            traceFolder = arguments[++i];
        } else {
            std::fputs(
                "usage: with_policy [--site ENTRY]... [--no-sites] [--timeout S] [--trace-level N] "
                "[--trace-folder F] -- PROGRAM [ARGUMENT]...\n",
                stderr);
            return 126;
        }
    }
    std::wstring command;
    for (++i; i < count; ++i) command += (command.empty() ? L"" : L" ") + Quoted(arguments[i]);
    if (command.empty()) return 126;

    veldorinctl::test::ScopedMachinePolicy policy;
    if ((!sites.empty() || emptyList) && !policy.SetAllowedSites(sites)) return 125;
    if (timeout >= 0 && !policy.SetExchangeTimeoutSeconds(static_cast<DWORD>(timeout))) return 125;
    if (traceLevel >= 0 && !policy.SetTraceLevel(static_cast<DWORD>(traceLevel))) return 125;
    if (!traceFolder.empty() && !policy.SetTraceFolder(traceFolder)) return 125;
    return Run(command);
}
