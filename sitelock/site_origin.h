// Where a page came from, as far as the site lock cares: its scheme, and for
// http and https its host and port. Parsing is deliberately narrower than a
// browser's: any URL that could be read two ways is refused, never guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class SiteScheme { Http, Https, File };

struct SiteOrigin {
    SiteScheme scheme;
    std::string host;   // lower case, without a trailing dot; IPv6 with its brackets
    uint16_t port = 0;  // the scheme's default when the URL names none; 0 for file
    char drive = 0;     // a file page's drive letter, upper case; 0 otherwise
};

// The origin of a page's URL (UTF-8), or nothing when the URL is refused:
// empty; a control character, a backslash or DEL anywhere; a scheme other
// than http, https or file; userinfo; a percent sign in the authority; a
// host that is empty or holds anything but ASCII letters, digits, '-', '_'
// and dots (so internationalised names arrive only in their xn-- form); a
// port that is empty, 0 or above 65535. A file URL counts only when it names
// a file by its drive letter, with no host or localhost (file:///C:/... or
// file://localhost/C:/..., '|' for ':' as browsers allow), and holds no
// percent-encoded slash or backslash: every way of writing a page on a
// network share (file://server/share, file:////server/share,
// file://localhost//server/share, file:///%5C%5Cserver...) is refused.
// Whether the drive itself is a network drive only the platform can tell.
std::optional<SiteOrigin> ParsePageUrl(std::string_view url);

// Why a page's URL is refused.
enum class PageUrlProblem {
    None,
    Empty,
    ForbiddenCharacter,  // a control character, a backslash or DEL
    Scheme,              // not http, https or file
    NoAuthority,         // http or https without "//host"
    UserInfo,
    PercentSign,  // in the host or port
    HostOrPort,
    FileNotLocal,  // a file on another machine or a share, or without a drive letter
};

// The problem in words, for the trace and readerprobe ("" for None).
const char* PageUrlProblemText(PageUrlProblem problem);

struct PageUrlReading {
    std::optional<SiteOrigin> origin;  // nothing when `problem` is not None
    PageUrlProblem problem = PageUrlProblem::None;
};

// ParsePageUrl, telling why a URL is refused.
PageUrlReading ReadPageUrl(std::string_view url);

// The origin as text: "https://host:443", "file:" for local files. Never a
// path or a query, so it may be written where a full URL must not be.
std::string OriginText(const SiteOrigin& origin);

// ASCII-only helpers shared with the parsing of the lock's entries.
namespace site_text {
// `text` lower-cased when it is a host name: labels of letters, digits, '-'
// and '_', separated by single dots, with one trailing dot dropped.
std::optional<std::string> NormalisedHostName(std::string_view text);
// An IPv6 literal with its brackets, lower-cased: hex digits, ':' and '.'.
std::optional<std::string> NormalisedIpv6Literal(std::string_view text);
// "host", "host:port", "[v6]" or "[v6]:port" into host and port; the port
// is the scheme's default when not named.
std::optional<SiteOrigin> ParseAuthority(std::string_view authority, SiteScheme scheme);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
}  // namespace site_text
