// readerprobe: what a support engineer asks a machine before anything else.
//
//   readerprobe [--json] [--url URL] [--call BASE64]
//
// It lists every HID interface with what it is and whether it is a reader
// (and why not), names the reader DevOpen takes, shows the control's
// registration in both registry views with the files they name and any
// kill bit, and the machine policy with each AllowedSites entry kept or
// dropped. --url prints the site lock's verdict for that page and the
// entry or rule that decided it; --call opens the reader and makes one
// exchange as DevCall does (as the page of --url would, when given). The
// exit codes are those of ProbeExit (probe.h).
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/readerprobe/probe.h"
#include "tools/readerprobe/report_writers.h"
#include "win32/utf8_text.h"

namespace {

constexpr char kUsage[] =
    "usage: readerprobe [--json] [--url URL] [--call BASE64]\n"
    "  --json        the report as JSON\n"
    "  --url URL     whether the machine policy lets the page at URL use the readers, and why\n"
    "  --call BASE64 open the reader and send this command as DevCall does (as that page, with --url)\n"
    "exit codes: 0 a reader was found (the page allowed, the command answered), 1 no reader,\n"
    "            2 bad arguments, 3 the page is refused, 4 the reader gave no answer\n";

struct Options {
    bool json = false;
    ProbeRequest request;
};

bool ReadOptions(int count, wchar_t** arguments, Options& options) {
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        const bool hasValue = i + 1 < count;
        if (argument == L"--json")
            options.json = true;
        else if (argument == L"--url" && hasValue)
            options.request.url = WideToUtf8(arguments[++i]);
        else if (argument == L"--call" && hasValue)
            options.request.command = WideToUtf8(arguments[++i]);
        else
            return false;
    }
    return true;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    Options options;
    if (!ReadOptions(count, arguments, options)) {
        std::fputs(kUsage, stderr);
        return kProbeBadArguments;
    }
    ProbeReport report = Probe(options.request);
    report.version = READERPROBE_VERSION;
    report.architecture = sizeof(void*) == 8 ? "x64" : "x86";
    const ProbeExit exit = ExitCodeOf(report);
    const std::string text = options.json ? ReportJson(report, exit) : ReportText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return exit;
}
