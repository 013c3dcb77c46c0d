#include "control/setup_trace.h"

#include "sitelock/policy_names.h"

namespace {

TraceEvent PolicyEvent(const char* value) {
    return TraceEvent("policy").Add("value", value);
}

void AddSiteListEvents(const SiteLock& lock, LeveledEvents& events) {
    switch (lock.GetState()) {
        case SiteLock::State::Off:
            events.emplace_back(TraceLevel::Calls, PolicyEvent(kAllowedSitesValue).Add("state", "absent: no lock"));
            return;
        case SiteLock::State::NotAList:
            events.emplace_back(TraceLevel::Errors, PolicyEvent(kAllowedSitesValue)
                                                        .Add("state", "not a REG_MULTI_SZ")
                                                        .Add("failure", "every page is refused"));
            return;
        case SiteLock::State::List:
            break;
    }
    for (const SiteLock::Entry& entry : lock.Entries())
        events.emplace_back(TraceLevel::Calls, PolicyEvent(kAllowedSitesValue).Add("kept", entry.text));
    for (const SiteLock::DroppedEntry& entry : lock.Dropped())
        events.emplace_back(
            TraceLevel::Errors,
            PolicyEvent(kAllowedSitesValue).Add("dropped", entry.text).Add("reason", EntryProblemText(entry.problem)));
    if (lock.Entries().empty())
        events.emplace_back(TraceLevel::Errors, PolicyEvent(kAllowedSitesValue)
                                                    .Add("state", lock.Dropped().empty() ? "empty" : "no usable entry")
                                                    .Add("failure", "every page is refused"));
}

void AddNumberEvent(const char* name, const PolicyValue& value, const char* otherwise, LeveledEvents& events) {
    if (value.kind == PolicyValue::Kind::Number)
        events.emplace_back(TraceLevel::Calls, PolicyEvent(name).Add("number", value.number));
    else if (value.kind == PolicyValue::Kind::Absent)
        events.emplace_back(TraceLevel::Calls, PolicyEvent(name).Add("state", "absent"));
    else
        events.emplace_back(TraceLevel::Errors,
                            PolicyEvent(name).Add("state", "not a REG_DWORD").Add("failure", otherwise));
}

}  // namespace

LeveledEvents PolicyEvents(const MachinePolicy& policy, const std::string& traceFolder) {
    LeveledEvents events;
    const PolicyValues& values = policy.values;
    if (values.key == PolicyValues::Key::Absent) {
        events.emplace_back(TraceLevel::Calls, TraceEvent("policy").Add("key", "absent: no lock, no time limit"));
        return events;
    }
    if (values.key == PolicyValues::Key::Unreadable) {
        events.emplace_back(TraceLevel::Errors, TraceEvent("policy")
                                                    .Add("key", "unreadable")
                                                    .Add("error", values.keyError)
                                                    .Add("failure", "every page is refused"));
        return events;
    }
    AddSiteListEvents(policy.siteLock, events);
    AddNumberEvent(kExchangeTimeoutValue, values[kExchangeTimeoutValue], "no time limit", events);
    AddNumberEvent(kTraceLevelValue, values[kTraceLevelValue], "no trace", events);
    events.emplace_back(TraceLevel::Calls, PolicyEvent(kTraceFolderValue).Add("folder", traceFolder));
    return events;
}

TraceLevel VerdictTraceLevel(const SiteVerdict& verdict) {
    return verdict.allowed ? TraceLevel::Calls : TraceLevel::Errors;
}

std::string OriginOf(const SiteVerdict& verdict) {
    return verdict.page.origin ? OriginText(*verdict.page.origin) : "none";
}

TraceEvent VerdictEvent(const SiteVerdict& verdict) {
    return TraceEvent("page")
        .Add("origin", OriginOf(verdict))
        .Add("verdict", verdict.allowed ? "allowed" : "refused")
        .Add("rule", SiteVerdictText(verdict));
}

TraceEvent HidInterfaceEvent(const HidInterfaceSeen& seen, HidInterfaceVerdict verdict, ReaderIdentity sought) {
    TraceEvent event("hid-interface");
    event.Add("sought", IdentityText(sought)).Add("path", seen.path);
    if (!seen.opened) event.Add("open-error", seen.openError);
    if (seen.identified) event.Add("vid", Hex4(seen.vendorId)).Add("pid", Hex4(seen.productId));
    if (seen.described)
        event.Add("usage-page", Hex4(seen.usagePage))
            .Add("usage", Hex4(seen.usage))
            .Add("input", seen.inputReportLength)
            .Add("output", seen.outputReportLength);
    return event.Add("verdict", HidInterfaceVerdictText(verdict));
}
