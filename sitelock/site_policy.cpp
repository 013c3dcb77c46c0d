#include "sitelock/site_policy.h"

#include "sitelock/policy_names.h"

const PolicyValue& PolicyValues::operator[](std::string_view name) const {
    static const PolicyValue absent;
    const auto found = byName.find(name);
    return found == byName.end() ? absent : found->second;
}

SiteLock::SiteLock(const PolicyValue& allowedSites) {
    if (allowedSites.kind == PolicyValue::Kind::Absent) return;
    // From here on the lock is closed, and only entries that can be read
    // open it.
    state_ = State::NotAList;
    if (allowedSites.kind != PolicyValue::Kind::MultiString) return;
    state_ = State::List;
    for (const std::string& text : allowedSites.strings) {
        AllowedSiteReading reading = ReadAllowedSite(text);
        std::string written(TrimmedEntry(text));
        if (reading.site)
            entries_.push_back({std::move(written), std::move(*reading.site)});
        else
            dropped_.push_back({std::move(written), reading.problem});
    }
}

SiteVerdict SiteLock::Judge(std::optional<std::string_view> pageUrl, const NetworkDriveTest& isNetworkDrive) const {
    SiteVerdict verdict;
    if (pageUrl) verdict.page = ReadPageUrl(*pageUrl);
    const auto refused = [&verdict](SiteVerdict::Rule rule) {
        verdict.rule = rule;
        return verdict;
    };
    if (state_ == State::Off) {
        verdict.allowed = true;
        return verdict;
    }
    if (state_ == State::NotAList) return refused(SiteVerdict::Rule::NotAList);
    if (entries_.empty())
        return refused(dropped_.empty() ? SiteVerdict::Rule::EmptyList : SiteVerdict::Rule::EveryEntryDropped);
    if (!pageUrl) return refused(SiteVerdict::Rule::NoPageUrl);
    if (!verdict.page.origin) return refused(SiteVerdict::Rule::PageUrlRefused);
    const SiteOrigin& origin = *verdict.page.origin;
    if (origin.scheme == SiteScheme::File && isNetworkDrive && isNetworkDrive(origin.drive))
        return refused(SiteVerdict::Rule::NetworkDrive);
    for (const Entry& entry : entries_) {
        if (!AllowsPage(entry.site, *verdict.page.origin)) continue;
        verdict.allowed = true;
        verdict.rule = SiteVerdict::Rule::ListedEntry;
        verdict.entry = entry.text;
        return verdict;
    }
    return refused(SiteVerdict::Rule::NotListed);
}

std::string SiteVerdictText(const SiteVerdict& verdict) {
    switch (verdict.rule) {
        case SiteVerdict::Rule::NoLock:
            return "allowed: no AllowedSites, no lock";
        case SiteVerdict::Rule::ListedEntry:
            return "allowed by the entry " + verdict.entry;
        case SiteVerdict::Rule::NotAList:
            return "refused: AllowedSites is not a list (REG_MULTI_SZ)";
        case SiteVerdict::Rule::EmptyList:
            return "refused: AllowedSites is empty";
        case SiteVerdict::Rule::EveryEntryDropped:
            return "refused: no entry of AllowedSites can be read";
        case SiteVerdict::Rule::NoPageUrl:
            return "refused: the container tells no page URL";
        case SiteVerdict::Rule::PageUrlRefused:
            return std::string("refused: the page's URL ") + PageUrlProblemText(verdict.page.problem);
        case SiteVerdict::Rule::NotListed:
            return "refused: no entry allows this origin";
        case SiteVerdict::Rule::NetworkDrive:
            return "refused: the page's file is on a network drive";
    }
    return {};
}

std::chrono::milliseconds ExchangeTimeoutFrom(const PolicyValue& value) {
    if (value.kind != PolicyValue::Kind::Number) return std::chrono::milliseconds::zero();
    return std::chrono::seconds(value.number);
}

TraceSettings TraceSettingsFrom(const PolicyValue& level, const PolicyValue& folder) {
    TraceSettings settings;
    if (level.kind == PolicyValue::Kind::Number && level.number <= static_cast<uint32_t>(TraceLevel::Bytes))
        settings.level = static_cast<TraceLevel>(level.number);
    if (folder.kind == PolicyValue::Kind::String && !folder.strings.empty()) settings.folder = folder.strings.front();
    return settings;
}

MachinePolicy MachinePolicyFrom(PolicyValues values) {
    MachinePolicy policy;
    policy.siteLock = values.key == PolicyValues::Key::Unreadable
                          ? SiteLock(PolicyValue{PolicyValue::Kind::Other, {}, 0})
                          : SiteLock(values[kAllowedSitesValue]);
    policy.exchangeTimeout = ExchangeTimeoutFrom(values[kExchangeTimeoutValue]);
    policy.trace = TraceSettingsFrom(values[kTraceLevelValue], values[kTraceFolderValue]);
    policy.values = std::move(values);
    return policy;
}
