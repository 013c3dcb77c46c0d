// What the machine policy's values mean. Reading them is the platform's
// business; this turns what was read into the site lock, the exchange time
// limit and the trace settings, and keeps what was read so that the trace
// and readerprobe can show it.
#pragma once

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sitelock/allowed_site.h"
#include "trace/trace_level.h"

// One registry value as read: absent, a list of strings (REG_MULTI_SZ), a
// string (REG_SZ, or REG_EXPAND_SZ expanded), a 32-bit number (REG_DWORD),
// or a value of another type. Strings are UTF-8.
struct PolicyValue {
    enum class Kind { Absent, MultiString, Number, Other, String };
    Kind kind = Kind::Absent;
    std::vector<std::string> strings;  // MultiString: each string; String: the one string
    uint32_t number = 0;
};

// The policy key's values as read, by name (policy_names.h).
struct PolicyValues {
    enum class Key { Absent, Read, Unreadable };
    Key key = Key::Absent;
    int32_t keyError = 0;  // the registry's error code when Unreadable
    std::map<std::string, PolicyValue, std::less<>> byName;

    // The value of that name; absent when it was not read.
    const PolicyValue& operator[](std::string_view name) const;
};

// The verdict on one page, with the rule that decided it.
struct SiteVerdict {
    enum class Rule {
        NoLock,             // allowed: no AllowedSites value
        ListedEntry,        // allowed by `entry`
        NotAList,           // refused: AllowedSites is not a REG_MULTI_SZ (or the key cannot be read)
        EmptyList,          // refused: AllowedSites is empty
        EveryEntryDropped,  // refused: no entry of AllowedSites can be read
        NoPageUrl,          // refused: the container told no URL
        PageUrlRefused,     // refused: `page.problem`
        NotListed,          // refused: no entry allows the page's origin
        NetworkDrive,       // refused: the page's file is on a network drive
    };
    bool allowed = false;
    Rule rule = Rule::NoLock;
    std::string entry;
    // The page's origin, or why its URL is refused; None with no origin
    // when there was no URL.
    PageUrlReading page;
};

// "allowed by the entry https://*.example.com", "refused: the page's URL
// has a user name", ...: never the page's URL itself.
std::string SiteVerdictText(const SiteVerdict& verdict);

// Whether a drive letter (upper case) names a network drive: the platform's
// to tell.
using NetworkDriveTest = std::function<bool(char drive)>;

// Which pages may use the readers.
class SiteLock {
public:
    enum class State { Off, NotAList, List };
    struct Entry {
        std::string text;  // as written, spaces around it removed
        AllowedSite site;
    };
    struct DroppedEntry {
        std::string text;
        EntryProblem problem;
    };

    // No list of sites: every page may (the control as it has always been).
    SiteLock() = default;
    // From the AllowedSites value. Absent: no lock. Present but empty, of
    // another type, or without one entry that can be read: every page is
    // refused.
    explicit SiteLock(const PolicyValue& allowedSites);

    State GetState() const { return state_; }
    bool IsLocked() const { return state_ != State::Off; }
    const std::vector<Entry>& Entries() const { return entries_; }
    const std::vector<DroppedEntry>& Dropped() const { return dropped_; }

    // Whether a page at `pageUrl` (UTF-8; nothing when the page's URL could
    // not be learnt) may use the readers, and why. `isNetworkDrive`, when
    // given, tells whether a file page's drive letter names a network drive,
    // whose pages are refused like those of a share.
    SiteVerdict Judge(std::optional<std::string_view> pageUrl, const NetworkDriveTest& isNetworkDrive = {}) const;
    bool Allows(std::optional<std::string_view> pageUrl, const NetworkDriveTest& isNetworkDrive = {}) const {
        return Judge(pageUrl, isNetworkDrive).allowed;
    }

private:
    State state_ = State::Off;
    std::vector<Entry> entries_;
    std::vector<DroppedEntry> dropped_;
};

// The ExchangeTimeoutSeconds value as a time limit; zero means none. Absent,
// 0, or a value of another type than a number: none.
std::chrono::milliseconds ExchangeTimeoutFrom(const PolicyValue& value);

// TraceLevel and TraceFolder. A level that is absent, not a number, or above
// 3 is off; a folder that is not a string, or empty, is the default one.
TraceSettings TraceSettingsFrom(const PolicyValue& level, const PolicyValue& folder);

// What the whole policy means. A key that exists but cannot be read locks
// every page out rather than none.
struct MachinePolicy {
    PolicyValues values;
    SiteLock siteLock;
    std::chrono::milliseconds exchangeTimeout{0};
    TraceSettings trace;
};
MachinePolicy MachinePolicyFrom(PolicyValues values);
