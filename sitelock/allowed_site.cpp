#include "sitelock/allowed_site.h"

namespace {

AllowedSiteReading Problem(EntryProblem problem) {
    return {std::nullopt, problem};
}

// What follows the host and port: nothing, or the path "/" alone (the form
// the address bar shows an origin in).
EntryProblem ProblemAfterAuthority(std::string_view rest) {
    const std::string_view path = rest.substr(0, rest.find_first_of("?#"));
    if (!path.empty() && path != "/") return EntryProblem::Path;
    if (path.size() != rest.size()) return EntryProblem::QueryOrFragment;
    return EntryProblem::None;
}

AllowedSiteReading ReadNetworkEntry(std::string_view text, SiteScheme scheme) {
    if (text.find('\\') != std::string_view::npos) return Problem(EntryProblem::Backslash);
    const size_t authorityEnd = text.find_first_of("/?#");
    std::string_view authority = text.substr(0, authorityEnd);
    if (authorityEnd != std::string_view::npos)
        if (const EntryProblem after = ProblemAfterAuthority(text.substr(authorityEnd)); after != EntryProblem::None)
            return Problem(after);
    if (authority.find('@') != std::string_view::npos) return Problem(EntryProblem::UserInfo);
    if (authority.find('%') != std::string_view::npos) return Problem(EntryProblem::PercentSign);
    const bool anySubdomain = authority.starts_with("*.");
    if (anySubdomain) {
        authority.remove_prefix(2);
        if (authority.starts_with('[')) return Problem(EntryProblem::WildcardOfAddress);
    }
    const auto origin = site_text::ParseAuthority(authority, scheme);
    if (!origin) return Problem(EntryProblem::HostOrPort);
    return {AllowedSite{*origin, anySubdomain}, EntryProblem::None};
}

bool IsSubdomainOf(std::string_view host, std::string_view domain) {
    // The host was normalised to labels separated by single dots, so a
    // longer host ending in ".domain" has at least one label of its own.
    return host.size() > domain.size() + 1 && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

const char* EntryProblemText(EntryProblem problem) {
    switch (problem) {
        case EntryProblem::None:
            return "";
        case EntryProblem::Empty:
            return "empty";
        case EntryProblem::Scheme:
            return "does not start with https://, http:// or file:";
        case EntryProblem::FileForm:
            return "local files are allowed by file: alone";
        case EntryProblem::Path:
            return "has a path other than /";
        case EntryProblem::QueryOrFragment:
            return "has a query or a fragment";
        case EntryProblem::UserInfo:
            return "has a user name";
        case EntryProblem::PercentSign:
            return "has a percent sign";
        case EntryProblem::Backslash:
            return "has a backslash";
        case EntryProblem::HostOrPort:
            return "the host or the port cannot be read";
        case EntryProblem::WildcardOfAddress:
            return "an address has no subdomains";
    }
    return "";
}

std::string_view TrimmedEntry(std::string_view entry) {
    const size_t first = entry.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return entry.substr(first, entry.find_last_not_of(" \t") - first + 1);
}

AllowedSiteReading ReadAllowedSite(std::string_view entry) {
    entry = TrimmedEntry(entry);
    if (entry.empty()) return Problem(EntryProblem::Empty);
    if (site_text::EqualsIgnoringCase(entry, "file:")) return {AllowedSite{{SiteScheme::File, {}, 0}, false}};
    if (site_text::StartsWithIgnoringCase(entry, "file:")) return Problem(EntryProblem::FileForm);
    if (site_text::StartsWithIgnoringCase(entry, "https://"))
        return ReadNetworkEntry(entry.substr(8), SiteScheme::Https);
    if (site_text::StartsWithIgnoringCase(entry, "http://")) return ReadNetworkEntry(entry.substr(7), SiteScheme::Http);
    return Problem(EntryProblem::Scheme);
}

std::optional<AllowedSite> ParseAllowedSite(std::string_view entry) {
    return ReadAllowedSite(entry).site;
}

bool AllowsPage(const AllowedSite& site, const SiteOrigin& page) {
    if (site.origin.scheme != page.scheme) return false;
    if (page.scheme == SiteScheme::File) return true;
    if (site.origin.port != page.port) return false;
    return site.anySubdomain ? IsSubdomainOf(page.host, site.origin.host) : site.origin.host == page.host;
}
