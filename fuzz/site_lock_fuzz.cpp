// The site lock on arbitrary entries and page URLs. Pieces are separated by
// the byte 0xFF (never part of UTF-8 text): every piece but the last is an
// entry, the last is the page's URL. Checks that what the lock allows is
// what its parts say, that its verdict names the rule that decided it, that
// every entry is either kept or dropped with a reason, and that the origins
// it works with are canonical.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sitelock/site_policy.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string Serialised(const SiteOrigin& origin) {
    // An entry's origin names no drive: any drive will do.
    if (origin.scheme == SiteScheme::File) return std::string("file:///") + (origin.drive ? origin.drive : 'C') + ":/";
    return OriginText(origin) + "/";
}

bool SameOrigin(const SiteOrigin& a, const SiteOrigin& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port && a.drive == b.drive;
}

// Canonical: serialising and parsing again gives the same origin, and
// nothing in it could be read as another host.
void CheckCanonical(const SiteOrigin& origin) {
    for (char c : origin.host) Check(c > 0x20 && c < 0x7F && c != '@' && c != '%' && c != '\\' && c != '/');
    Check(origin.scheme == SiteScheme::File || (!origin.host.empty() && origin.port != 0 && origin.drive == 0));
    // A file page names its drive, upper case; an entry names none.
    Check(origin.scheme != SiteScheme::File || origin.drive == 0 || (origin.drive >= 'A' && origin.drive <= 'Z'));
    const auto again = ParsePageUrl(Serialised(origin));
    Check(again && again->scheme == origin.scheme && again->host == origin.host && again->port == origin.port);
    if (origin.drive != 0) Check(SameOrigin(*again, origin));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    PolicyValue value{PolicyValue::Kind::MultiString, {}, 0};
    size_t start = 0;
    for (size_t end; (end = input.find('\xFF', start)) != std::string_view::npos; start = end + 1)
        value.strings.emplace_back(input.substr(start, end - start));
    const std::string_view url = input.substr(start);

    const SiteLock lock(value);
    const auto page = ParsePageUrl(url);
    Check(lock.Entries().size() + lock.Dropped().size() == value.strings.size());
    for (const SiteLock::DroppedEntry& dropped : lock.Dropped()) Check(dropped.problem != EntryProblem::None);
    bool anyAllows = false;
    for (const std::string& entry : value.strings) {
        const AllowedSiteReading reading = ReadAllowedSite(entry);
        Check(reading.site.has_value() == (reading.problem == EntryProblem::None));
        const auto& site = reading.site;
        if (!site) continue;
        CheckCanonical(site->origin);
        // The origin written as the address bar shows it reads the same.
        if (site->origin.scheme != SiteScheme::File) {
            const std::string scheme = site->origin.scheme == SiteScheme::Https ? "https://" : "http://";
            const std::string pasted = scheme + (site->anySubdomain ? "*." : "") + site->origin.host + ":" +
                                       std::to_string(site->origin.port) + "/";
            const auto again = ParseAllowedSite(pasted);
            Check(again && SameOrigin(again->origin, site->origin) && again->anySubdomain == site->anySubdomain);
        }
        if (page && AllowsPage(*site, *page)) anyAllows = true;
        // An entry allows the page it names (or, for a wildcard, one below it).
        const std::string named = site->anySubdomain
                                      ? Serialised({site->origin.scheme, "x." + site->origin.host, site->origin.port})
                                      : Serialised(site->origin);
        Check(SiteLock(PolicyValue{PolicyValue::Kind::MultiString, {entry}, 0}).Allows(named));
    }
    if (page) CheckCanonical(*page);
    const SiteVerdict verdict = lock.Judge(url);
    Check(verdict.allowed == anyAllows);
    Check(verdict.allowed == (verdict.rule == SiteVerdict::Rule::ListedEntry));
    Check(verdict.page.origin.has_value() == page.has_value());
    if (verdict.allowed)
        Check(std::any_of(lock.Entries().begin(), lock.Entries().end(),
                          [&](const SiteLock::Entry& entry) { return entry.text == verdict.entry; }));
    if (anyAllows) {
        // What was allowed holds none of the characters that tricks are made of.
        for (char c : url) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '\\');
        // A file page allowed names a drive: never a share.
        if (page->scheme == SiteScheme::File) Check(page->drive >= 'A' && page->drive <= 'Z');
    }
    return 0;
}
