// What the trace says of a control's setting: the policy it read (with each
// entry of the site list kept or dropped, and why), the page's verdict and
// the rule behind it, and the HID interfaces DevOpen looked at. Problems are
// written at level 1, the rest at level 2. A page is named by its origin
// only, never by its path or query.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "device/hid_interface.h"
#include "sitelock/site_policy.h"
#include "trace/trace_event.h"
#include "trace/trace_level.h"

using LeveledEvents = std::vector<std::pair<TraceLevel, TraceEvent>>;

// `traceFolder` is where the trace goes (the default folder when the policy
// names none).
LeveledEvents PolicyEvents(const MachinePolicy& policy, const std::string& traceFolder);

TraceLevel VerdictTraceLevel(const SiteVerdict& verdict);
TraceEvent VerdictEvent(const SiteVerdict& verdict);

// "https://host:443", or "none" when the page's URL was not read.
std::string OriginOf(const SiteVerdict& verdict);

// One interface DevOpen looked at for the identity it sought.
TraceEvent HidInterfaceEvent(const HidInterfaceSeen& seen, HidInterfaceVerdict verdict, ReaderIdentity sought);
