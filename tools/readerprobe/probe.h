// What readerprobe looks at: the HID interfaces and the reader DevOpen
// takes, the control's registration and kill bit, the machine policy, and
// on request a page URL's verdict and one exchange, each through the
// control's own code.
#pragma once

#include <optional>
#include <string>

#include "tools/readerprobe/probe_report.h"

struct ProbeRequest {
    std::optional<std::string> url;      // UTF-8
    std::optional<std::string> command;  // Base64, as a page passes it to DevCall
};

ProbeReport Probe(const ProbeRequest& request);

// The documented exit codes.
enum ProbeExit : int {
    kProbeOk = 0,              // a reader was found (and the URL allowed, the exchange answered)
    kProbeNoReader = 1,        // no reader of either identity could be opened
    kProbeBadArguments = 2,    // the command line could not be read
    kProbeUrlRefused = 3,      // --url: the site lock refuses that page
    kProbeExchangeFailed = 4,  // --call: the reader gave no answer
};

ProbeExit ExitCodeOf(const ProbeReport& report);
