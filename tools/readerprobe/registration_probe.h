// The control's registration and kill bit as the registry holds them, in
// both registry views, per machine and per user.
#pragma once

#include <string>
#include <vector>

#include "tools/readerprobe/probe_report.h"

std::vector<RegistrationFinding> ProbeRegistrations();
std::vector<KillBitFinding> ProbeKillBits();

// The file's version resource as "a.b.c.d"; "" when it has none.
std::string FileVersionOf(const std::wstring& path);
