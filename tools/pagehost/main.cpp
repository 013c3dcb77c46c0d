// pagehost: runs a web page that uses ActiveX controls, without a browser.
//
//   pagehost [--timeout S] [--close-timeout S] [--ocx MODULE] [--url URL] [--hidden] [--linger S] [--verbose]
//            PAGE.html
//
// The page's objects are created from their classid through the registry
// (a control registered with regsvr32), or with --ocx from that module
// directly, without registration. With --url, each control's site tells
// URL as the page's location (the SID_SWebBrowserApp service), as a browser
// does; like a browser, pagehost asks each control to be safe for untrusted
// params and scripts, and a control that refuses is neither initialised nor
// scripted (the page sees its id as null, as it does an object that could
// not be created). Its scripts run in the system's JScript
// engine; `host` gives them echo, exit, wait, threadId and the simulated
// readers (host.sim). The exit code is the one the page gives host.exit();
// 2: a script error; 3: the page did not exit in time; 4: the page could
// not be loaded; 5: closing it did not end in time; 6: after closing, an
// object was still alive or a control's module could not unload. --hidden
// keeps the page window from being shown; --linger keeps it shown S seconds
// after the page exits (for a screenshot); --verbose tells each step of the
// handshake, how long closing the page took and that everything was
// released.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/pagehost/page_runner.h"

namespace {

constexpr char kUsage[] =
    "usage: pagehost [--timeout SECONDS] [--close-timeout SECONDS] [--ocx MODULE] [--url URL] [--hidden] [--linger S] "
    "[--verbose] PAGE.html\n";

bool ParseSeconds(const wchar_t* text, int& seconds) {
    wchar_t* end = nullptr;
    const long value = std::wcstol(text, &end, 10);
    if (!*text || *end || value <= 0 || value > 86400) return false;
    seconds = static_cast<int>(value);
    return true;
}

bool ParseArguments(int count, wchar_t** arguments, pagehost::RunOptions& options) {
    int seconds = 0;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        const bool hasValue = i + 1 < count;
        if (argument == L"--timeout" && hasValue) {
            if (!ParseSeconds(arguments[++i], options.timeoutSeconds)) return false;
        } else if (argument == L"--close-timeout" && hasValue) {
            if (!ParseSeconds(arguments[++i], options.closeTimeoutSeconds)) return false;
        } else if (argument == L"--ocx" && hasValue) {
            options.host.modulePath = pagehost::WindowsPath(arguments[++i]);
        } else if (argument == L"--url" && hasValue) {
            options.host.pageUrl = arguments[++i];
            if (options.host.pageUrl.empty()) return false;
        } else if (argument == L"--linger" && hasValue) {
            if (!ParseSeconds(arguments[++i], seconds)) return false;
            options.lingerMilliseconds = seconds * 1000;
        } else if (argument == L"--hidden") {
            options.hidden = true;
        } else if (argument == L"--verbose") {
            options.host.verbose = true;
        } else if (argument.rfind(L"--", 0) == 0 || !options.pagePath.empty()) {
            return false;
        } else {
            options.pagePath = argument;
        }
    }
    return !options.pagePath.empty();
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    pagehost::RunOptions options;
    if (!ParseArguments(count, arguments, options)) {
        std::fputs(kUsage, stderr);
        return pagehost::kLoadFailedExitCode;
    }
    return pagehost::RunPage(options);
}
