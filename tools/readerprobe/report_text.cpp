#include <cstdio>

#include "sitelock/policy_names.h"
#include "tools/readerprobe/report_writers.h"

namespace {

void Line(std::string& out, const std::string& text) {
    out += text;
    out += '\n';
}

std::string FileText(const FileFinding& file) {
    if (file.path.empty()) return "(none named)";
    if (!file.exists) return file.path + ": MISSING";
    return file.path + (file.version.empty() ? ", no version" : ", version " + file.version);
}

void WriteInterfaces(std::string& out, const ProbeReport& report) {
    Line(out, "HID interfaces: " + std::to_string(report.interfaces.size()));
    for (const InterfaceFinding& found : report.interfaces) {
        const HidInterfaceSeen& seen = found.seen;
        Line(out, "  " + seen.path);
        std::string facts;
        if (seen.identified) facts = IdentityText({seen.vendorId, seen.productId});
        if (seen.described)
            facts += ", usage page " + Hex4(seen.usagePage) + " usage " + Hex4(seen.usage) + ", reports of " +
                     std::to_string(seen.inputReportLength) + " bytes in, " + std::to_string(seen.outputReportLength) +
                     " out, " + std::to_string(seen.featureReportLength) + " feature";
        if (!facts.empty()) Line(out, "    " + facts);
        if (found.verdict == HidInterfaceVerdict::Taken)
            Line(out, "    a reader");
        else if (found.verdict == HidInterfaceVerdict::NotOpened)
            Line(out, "    not a reader: cannot be opened (error " + std::to_string(seen.openError) + ": " +
                          found.openErrorText + ")");
        else
            Line(out, std::string("    not a reader: ") + HidInterfaceVerdictText(found.verdict));
    }
    char reader[512];
    if (report.reader)
        std::snprintf(reader, sizeof reader, "reader %s at %s, reports of %u bytes",
                      IdentityText(report.reader->identity).c_str(), report.reader->path.c_str(),
                      static_cast<unsigned>(report.reader->reportLength));
    Line(out, report.reader ? reader : "no reader");
}

void WriteRegistration(std::string& out, const ProbeReport& report) {
    Line(out, "");
    Line(out, "registration of the control's class");
    for (const RegistrationFinding& found : report.registrations) {
        const std::string where = std::string("  ") + found.scope + ", " + found.view + " view: ";
        if (!found.registered) {
            Line(out, where + "not registered");
            continue;
        }
        Line(out, where + "\"" + found.className + "\", threading model " + found.threadingModel);
        Line(out, "    server        " + FileText(found.server));
        Line(out, "    type library  " + (found.typeLibrary.empty()
                                              ? std::string("(none named)")
                                              : found.typeLibrary + ": " + FileText(found.typeLibraryFile)));
    }
    for (const KillBitFinding& killBit : report.killBits) {
        char flags[64] = "not set";
        if (killBit.Set())
            std::snprintf(flags, sizeof flags, "SET (Compatibility Flags 0x%08lX): browsers do not create it",
                          static_cast<unsigned long>(*killBit.flags));
        Line(out, std::string("  kill bit, ") + killBit.view + " view: " + flags);
    }
}

void WriteSiteList(std::string& out, const SiteLock& lock) {
    switch (lock.GetState()) {
        case SiteLock::State::Off:
            Line(out, "  AllowedSites            absent: every page may use the readers");
            return;
        case SiteLock::State::NotAList:
            Line(out, "  AllowedSites            not a REG_MULTI_SZ: every page is refused");
            return;
        case SiteLock::State::List:
            break;
    }
    Line(out, "  AllowedSites            " + std::to_string(lock.Entries().size()) + " kept, " +
                  std::to_string(lock.Dropped().size()) + " dropped" +
                  (lock.Entries().empty() ? ": every page is refused" : ""));
    for (const SiteLock::Entry& entry : lock.Entries()) Line(out, "    kept     " + entry.text);
    for (const SiteLock::DroppedEntry& entry : lock.Dropped())
        Line(out, "    dropped  \"" + entry.text + "\": " + EntryProblemText(entry.problem));
}

void WritePolicy(std::string& out, const ProbeReport& report) {
    Line(out, "");
    const PolicyValues& values = report.policy.values;
    Line(out, std::string("machine policy (HKLM\\") + kPolicyKeyPath + ", 64-bit view)");
    switch (values.key) {
        case PolicyValues::Key::Absent:
            Line(out, "  none: every page may use the readers, no time limit");
            break;
        case PolicyValues::Key::Unreadable:
            Line(out,
                 "  the key cannot be read (error " + std::to_string(values.keyError) + "): every page is refused");
            break;
        case PolicyValues::Key::Read:
            WriteSiteList(out, report.policy.siteLock);
            Line(out, "  ExchangeTimeoutSeconds  " + TimeLimitText(values[kExchangeTimeoutValue]));
            Line(out, "  TraceLevel              " + TraceLevelText(values[kTraceLevelValue]));
            break;
    }
    Line(out, "  trace folder            " + (report.traceFolder.empty() ? "(unknown)" : report.traceFolder) +
                  (report.policy.trace.folder.empty() ? " (the default, for this user)" : ""));
}

void WriteRequests(std::string& out, const ProbeReport& report) {
    if (report.verdict) {
        Line(out, "");
        Line(out, "page " + *report.url);
        Line(out, "  " + SiteVerdictText(*report.verdict));
        if (report.verdict->page.origin) Line(out, "  origin " + OriginText(*report.verdict->page.origin));
    }
    if (report.call) {
        Line(out, "");
        Line(out, "DevCall answer " + (report.call->answer.empty() ? std::string("\"\" (none)") : report.call->answer));
        Line(out, "  as the control's trace tells it:");
        for (size_t start = 0, end; (end = report.call->trace.find('\n', start)) != std::string::npos; start = end + 1)
            Line(out, "    " + report.call->trace.substr(start, end - start));
    }
}

}  // namespace

std::string ReportText(const ProbeReport& report) {
    std::string out;
    Line(out, "readerprobe " + report.version + " (" + report.architecture + ")");
    Line(out, "");
    WriteInterfaces(out, report);
    WriteRegistration(out, report);
    WritePolicy(out, report);
    WriteRequests(out, report);
    return out;
}
