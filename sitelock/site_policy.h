// What the machine policy's values mean. Reading them is the platform's
// business; this turns what was read into the site lock and the exchange
// time limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sitelock/allowed_site.h"

// One registry value as read: absent, a list of strings (REG_MULTI_SZ, each
// string UTF-8), a 32-bit number (REG_DWORD), or a value of another type.
struct PolicyValue {
    enum class Kind { Absent, MultiString, Number, Other };
    Kind kind = Kind::Absent;
    std::vector<std::string> strings;
    uint32_t number = 0;
};

// Which pages may use the readers.
class SiteLock {
public:
    // No list of sites: every page may (the control as it has always been).
    SiteLock() = default;
    // From the AllowedSites value. Absent: no lock. Present but empty, of
    // another type, or without one entry that parses: every page is refused.
    explicit SiteLock(const PolicyValue& allowedSites);

    bool IsLocked() const { return sites_.has_value(); }
    // Whether a page at `pageUrl` (UTF-8; nothing when the page's URL could
    // not be learnt) may use the readers.
    bool Allows(std::optional<std::string_view> pageUrl) const;

private:
    std::optional<std::vector<AllowedSite>> sites_;
};

// The ExchangeTimeoutSeconds value as a time limit; zero means none. Absent,
// 0, or a value of another type than a number: none.
std::chrono::milliseconds ExchangeTimeoutFrom(const PolicyValue& value);
