#include "sitelock/allowed_site.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<AllowedSite> ParseNetworkEntry(std::string_view authority, SiteScheme scheme) {
    // Only a host and a port: every other URL character makes it no entry.
    if (authority.find_first_of("/?#@%\\") != std::string_view::npos) return std::nullopt;
    const bool anySubdomain = authority.starts_with("*.");
    if (anySubdomain) {
        authority.remove_prefix(2);
        if (authority.starts_with('[')) return std::nullopt;  // no subdomains of an address
    }
    const auto origin = site_text::ParseAuthority(authority, scheme);
    if (!origin) return std::nullopt;
    return AllowedSite{*origin, anySubdomain};
}

bool IsSubdomainOf(std::string_view host, std::string_view domain) {
    // The host was normalised to labels separated by single dots, so a
    // longer host ending in ".domain" has at least one label of its own.
    return host.size() > domain.size() + 1 && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

std::optional<AllowedSite> ParseAllowedSite(std::string_view entry) {
    entry = Trimmed(entry);
    if (site_text::EqualsIgnoringCase(entry, "file:")) return AllowedSite{{SiteScheme::File, {}, 0}, false};
    if (site_text::StartsWithIgnoringCase(entry, "https://"))
        return ParseNetworkEntry(entry.substr(8), SiteScheme::Https);
    if (site_text::StartsWithIgnoringCase(entry, "http://"))
        return ParseNetworkEntry(entry.substr(7), SiteScheme::Http);
    return std::nullopt;
}

bool AllowsPage(const AllowedSite& site, const SiteOrigin& page) {
    if (site.origin.scheme != page.scheme) return false;
    if (page.scheme == SiteScheme::File) return true;
    if (site.origin.port != page.port) return false;
    return site.anySubdomain ? IsSubdomainOf(page.host, site.origin.host) : site.origin.host == page.host;
}
