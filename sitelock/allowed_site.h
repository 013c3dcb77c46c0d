// One entry of the administrator's list of sites that may use the readers:
//   https://host  https://host:port  https://*.example.com  (and http://)
//   file:
// "*." allows every subdomain at any depth, but not the domain itself.
#pragma once

#include <optional>
#include <string_view>

#include "sitelock/site_origin.h"

struct AllowedSite {
    SiteOrigin origin;  // for a wildcard, host is the domain after "*."
    bool anySubdomain = false;
};

// The entry, or nothing when it does not parse (the lock then ignores it).
// Spaces and tabs around an entry are ignored; a path, a query, userinfo or
// anything else after the port is not an entry.
std::optional<AllowedSite> ParseAllowedSite(std::string_view entry);

bool AllowsPage(const AllowedSite& site, const SiteOrigin& page);
