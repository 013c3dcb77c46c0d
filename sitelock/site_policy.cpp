#include "sitelock/site_policy.h"

SiteLock::SiteLock(const PolicyValue& allowedSites) {
    if (allowedSites.kind == PolicyValue::Kind::Absent) return;
    // From here on the lock is closed, and only entries that parse open it.
    sites_.emplace();
    if (allowedSites.kind != PolicyValue::Kind::MultiString) return;
    for (const std::string& entry : allowedSites.strings)
        if (auto site = ParseAllowedSite(entry)) sites_->push_back(std::move(*site));
}

bool SiteLock::Allows(std::optional<std::string_view> pageUrl) const {
    if (!sites_) return true;
    if (!pageUrl) return false;
    const auto page = ParsePageUrl(*pageUrl);
    if (!page) return false;
    for (const AllowedSite& site : *sites_)
        if (AllowsPage(site, *page)) return true;
    return false;
}

std::chrono::milliseconds ExchangeTimeoutFrom(const PolicyValue& value) {
    if (value.kind != PolicyValue::Kind::Number) return std::chrono::milliseconds::zero();
    return std::chrono::seconds(value.number);
}
