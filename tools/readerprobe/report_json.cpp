#include "sitelock/policy_names.h"
#include "tools/json/json_writer.h"
#include "tools/readerprobe/report_writers.h"

namespace {

void WriteFile(JsonWriter& json, const char* key, const FileFinding& file) {
    json.Key(key).BeginObject();
    json.Key("path").String(file.path).Key("exists").Bool(file.exists);
    json.Key("version").String(file.version).EndObject();
}

void WriteInterfaces(JsonWriter& json, const ProbeReport& report) {
    json.Key("interfaces").BeginArray();
    for (const InterfaceFinding& found : report.interfaces) {
        const HidInterfaceSeen& seen = found.seen;
        json.BeginObject().Key("path").String(seen.path).Key("opened").Bool(seen.opened);
        json.Key("openError");
        seen.opened ? json.Null() : json.Number(seen.openError);
        if (!seen.opened) json.Key("openErrorText").String(found.openErrorText);
        if (seen.identified)
            json.Key("vendorId").String(Hex4(seen.vendorId)).Key("productId").String(Hex4(seen.productId));
        if (seen.described)
            json.Key("usagePage")
                .String(Hex4(seen.usagePage))
                .Key("usage")
                .String(Hex4(seen.usage))
                .Key("inputReportLength")
                .Number(seen.inputReportLength)
                .Key("outputReportLength")
                .Number(seen.outputReportLength)
                .Key("featureReportLength")
                .Number(seen.featureReportLength);
        json.Key("reader").Bool(found.verdict == HidInterfaceVerdict::Taken);
        json.Key("verdict")
            .String(found.verdict == HidInterfaceVerdict::Taken ? "a reader" : HidInterfaceVerdictText(found.verdict))
            .EndObject();
    }
    json.EndArray().Key("reader");
    if (!report.reader) {
        json.Null();
        return;
    }
    json.BeginObject()
        .Key("identity")
        .String(IdentityText(report.reader->identity))
        .Key("path")
        .String(report.reader->path)
        .Key("reportLength")
        .Number(report.reader->reportLength)
        .EndObject();
}

void WriteRegistration(JsonWriter& json, const ProbeReport& report) {
    json.Key("registration").BeginArray();
    for (const RegistrationFinding& found : report.registrations) {
        json.BeginObject().Key("scope").String(found.scope).Key("view").String(found.view);
        json.Key("registered").Bool(found.registered);
        if (found.registered) {
            json.Key("class").String(found.className).Key("threadingModel").String(found.threadingModel);
            WriteFile(json, "server", found.server);
            json.Key("typeLibrary").String(found.typeLibrary);
            WriteFile(json, "typeLibraryFile", found.typeLibraryFile);
        }
        json.EndObject();
    }
    json.EndArray().Key("killBits").BeginArray();
    for (const KillBitFinding& killBit : report.killBits) {
        json.BeginObject().Key("view").String(killBit.view).Key("compatibilityFlags");
        killBit.flags ? json.Number(*killBit.flags) : json.Null();
        json.Key("set").Bool(killBit.Set()).EndObject();
    }
    json.EndArray();
}

const char* KeyText(PolicyValues::Key key) {
    switch (key) {
        case PolicyValues::Key::Absent:
            return "absent";
        case PolicyValues::Key::Read:
            return "read";
        case PolicyValues::Key::Unreadable:
            return "unreadable";
    }
    return "";
}

const char* SiteListText(SiteLock::State state) {
    switch (state) {
        case SiteLock::State::Off:
            return "absent";
        case SiteLock::State::NotAList:
            return "not a list";
        case SiteLock::State::List:
            return "list";
    }
    return "";
}

void WritePolicy(JsonWriter& json, const ProbeReport& report) {
    const PolicyValues& values = report.policy.values;
    const SiteLock& lock = report.policy.siteLock;
    json.Key("policy").BeginObject().Key("key").String(KeyText(values.key));
    if (values.key == PolicyValues::Key::Unreadable) json.Key("keyError").Number(values.keyError);
    json.Key("allowedSites").BeginObject().Key("state").String(SiteListText(lock.GetState()));
    json.Key("kept").BeginArray();
    for (const SiteLock::Entry& entry : lock.Entries()) json.String(entry.text);
    json.EndArray().Key("dropped").BeginArray();
    for (const SiteLock::DroppedEntry& entry : lock.Dropped())
        json.BeginObject()
            .Key("entry")
            .String(entry.text)
            .Key("reason")
            .String(EntryProblemText(entry.problem))
            .EndObject();
    json.EndArray().EndObject();
    json.Key("exchangeTimeoutSeconds").Number(report.policy.exchangeTimeout.count() / 1000);
    json.Key("exchangeTimeout").String(TimeLimitText(values[kExchangeTimeoutValue]));
    json.Key("traceLevel").Number(static_cast<int>(report.policy.trace.level));
    json.Key("traceLevelValue").String(TraceLevelText(values[kTraceLevelValue]));
    json.Key("traceFolder").String(report.traceFolder);
    json.EndObject();
}

void WriteRequests(JsonWriter& json, const ProbeReport& report) {
    if (report.verdict) {
        json.Key("url").BeginObject().Key("url").String(*report.url);
        json.Key("allowed").Bool(report.verdict->allowed).Key("rule").String(SiteVerdictText(*report.verdict));
        json.Key("entry").String(report.verdict->entry).Key("origin");
        report.verdict->page.origin ? json.String(OriginText(*report.verdict->page.origin)) : json.Null();
        json.EndObject();
    }
    if (report.call)
        json.Key("call")
            .BeginObject()
            .Key("handle")
            .Number(report.call->handle)
            .Key("answer")
            .String(report.call->answer)
            .Key("trace")
            .String(report.call->trace)
            .EndObject();
}

}  // namespace

std::string ReportJson(const ProbeReport& report, ProbeExit exit) {
    JsonWriter json(JsonHighBytes::Utf8);
    json.BeginObject().Key("version").String(report.version).Key("architecture").String(report.architecture);
    json.Key("exitCode").Number(exit);
    WriteInterfaces(json, report);
    WriteRegistration(json, report);
    WritePolicy(json, report);
    WriteRequests(json, report);
    json.EndObject();
    return json.Text();
}
