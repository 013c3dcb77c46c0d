// readerprobe's report for people (text) and for programs (JSON).
#pragma once

#include <string>

#include "tools/readerprobe/probe.h"

std::string ReportText(const ProbeReport& report);
std::string ReportJson(const ProbeReport& report, ProbeExit exit);

// Shared by both (identities are written with device/hid_interface.h).
// The TraceLevel value as the policy holds it, and what it means.
std::string TraceLevelText(const PolicyValue& value);
// ExchangeTimeoutSeconds likewise.
std::string TimeLimitText(const PolicyValue& value);
