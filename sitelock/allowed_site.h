// One entry of the administrator's list of sites that may use the readers:
//   https://host  https://host:port  https://*.example.com  (and http://)
//   file:
// "*." allows every subdomain at any depth, but not the domain itself. An
// entry copied from the address bar, with the path "/" after the host, is
// the same origin; any other path makes it no entry.
#pragma once

#include <optional>
#include <string_view>

#include "sitelock/site_origin.h"

struct AllowedSite {
    SiteOrigin origin;  // for a wildcard, host is the domain after "*."
    bool anySubdomain = false;
};

// Why an entry cannot be read.
enum class EntryProblem {
    None,
    Empty,
    Scheme,           // neither https://, http:// nor file:
    FileForm,         // file entries are "file:" alone
    Path,             // a path other than "/"
    QueryOrFragment,  // "?" or "#" after the host
    UserInfo,         // "user@host"
    PercentSign,      // a percent-encoded host or port
    Backslash,
    HostOrPort,         // a host or port that cannot be read
    WildcardOfAddress,  // "*." before an IPv6 address
};

// The problem in words, for the trace and readerprobe ("" for None).
const char* EntryProblemText(EntryProblem problem);

struct AllowedSiteReading {
    std::optional<AllowedSite> site;  // nothing when `problem` is not None
    EntryProblem problem = EntryProblem::None;
};

// The entry without the spaces and tabs around it, which do not count.
std::string_view TrimmedEntry(std::string_view entry);

// Reads one entry; spaces and tabs around it are ignored.
AllowedSiteReading ReadAllowedSite(std::string_view entry);

// The entry, or nothing when it cannot be read (the lock then ignores it).
std::optional<AllowedSite> ParseAllowedSite(std::string_view entry);

bool AllowsPage(const AllowedSite& site, const SiteOrigin& page);
