// Runs one page from its file to its exit code: the window, the objects,
// the scripts, waiting for the page to exit, and closing it all.
#pragma once

#include <string>

#include "tools/pagehost/hosted_control.h"

namespace pagehost {

struct RunOptions {
    std::wstring pagePath;
    HostOptions host;
    int timeoutSeconds = 30;       // for the page to call host.exit
    int closeTimeoutSeconds = 10;  // for everything to be let go afterwards
    bool hidden = false;           // do not show the page window
    int lingerMilliseconds = 0;    // keep the window up after the page exits
};

// Exit codes of pagehost besides the page's own.
constexpr int kTimedOutExitCode = 3;
constexpr int kLoadFailedExitCode = 4;
constexpr int kCloseTimedOutExitCode = 5;
// After closing, an object was still alive or a control's module could not
// unload. It outranks the page's own code.
constexpr int kNotReleasedExitCode = 6;

int RunPage(const RunOptions& options);

// Wine hands Unix paths through; the Windows file functions want its DOS
// form. Other paths come back as they are.
std::wstring WindowsPath(const std::wstring& path);

}  // namespace pagehost
