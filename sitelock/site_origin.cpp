#include "sitelock/site_origin.h"

namespace site_text {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint16_t DefaultPort(SiteScheme scheme) {
    return scheme == SiteScheme::Https ? 443 : 80;
}

// Decimal digits only, 1..65535. Leading zeros are what a browser reads them
// as; the value is bounded digit by digit, so no length of digits can wrap.
std::optional<uint16_t> ParsePort(std::string_view text) {
    if (text.empty()) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 65535) return std::nullopt;
    }
    if (value == 0) return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::optional<std::string> NormalisedHostName(std::string_view text) {
    if (!text.empty() && text.back() == '.') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::string host;
    host.reserve(text.size());
    bool labelStart = true;
    for (char c : text) {
        if (c == '.') {
            if (labelStart) return std::nullopt;  // an empty label
            labelStart = true;
        } else if (IsAsciiLetterOrDigit(c) || c == '-' || c == '_') {
            labelStart = false;
        } else {
            return std::nullopt;
        }
        host.push_back(Lower(c));
    }
    if (labelStart) return std::nullopt;  // ended with a second dot
    return host;
}

std::optional<std::string> NormalisedIpv6Literal(std::string_view text) {
    if (text.size() < 4 || text.front() != '[' || text.back() != ']') return std::nullopt;
    std::string literal = "[";
    bool hasColon = false;
    for (char c : text.substr(1, text.size() - 2)) {
        if (!IsHexDigit(c) && c != ':' && c != '.') return std::nullopt;
        hasColon = hasColon || c == ':';
        literal.push_back(Lower(c));
    }
    if (!hasColon) return std::nullopt;
    return literal + "]";
}

std::optional<SiteOrigin> ParseAuthority(std::string_view authority, SiteScheme scheme) {
    std::string_view hostText = authority;
    std::string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        hostText = authority.substr(0, close + 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            portText = rest.substr(1);
            hasPort = true;
        }
    } else if (const size_t colon = authority.find(':'); colon != std::string_view::npos) {
        hostText = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
        hasPort = true;
    }
    const auto host = hostText.starts_with('[') ? NormalisedIpv6Literal(hostText) : NormalisedHostName(hostText);
    if (!host) return std::nullopt;
    uint16_t port = DefaultPort(scheme);
    if (hasPort) {
        const auto named = ParsePort(portText);
        if (!named) return std::nullopt;
        port = *named;
    }
    return SiteOrigin{scheme, *host, port};
}

}  // namespace site_text

namespace {

using site_text::EqualsIgnoringCase;
using site_text::StartsWithIgnoringCase;

// Characters no honest page URL from a browser holds, and that URL parsers
// have been tricked with: controls (tab and newline among them), DEL and
// the backslash, which some read as a slash.
bool HasForbiddenCharacter(std::string_view url) {
    for (char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') return true;
    }
    return false;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// %2F or %5C, in either case: a slash or backslash that a reader of the path
// may decode, and so a UNC path written to look like a local one.
bool HasEncodedSeparator(std::string_view path) {
    for (size_t at = path.find('%'); at != std::string_view::npos; at = path.find('%', at + 1)) {
        const std::string_view code = path.substr(at + 1, 2);
        if (EqualsIgnoringCase(code, "2f") || EqualsIgnoringCase(code, "5c")) return true;
    }
    return false;
}

std::optional<SiteOrigin> ParseFileUrl(std::string_view rest) {
    // Only a file on this machine: an empty host or localhost (file://server
    // is a page from another machine), then a drive letter. Anything else
    // where the drive belongs ("/" of file:////server/share, "%5C") is a
    // path on a share.
    if (rest.starts_with("///"))
        rest.remove_prefix(3);
    else if (StartsWithIgnoringCase(rest, "//localhost/"))
        rest.remove_prefix(12);
    else
        return std::nullopt;
    if (rest.size() < 2 || !IsAsciiLetter(rest[0]) || (rest[1] != ':' && rest[1] != '|')) return std::nullopt;
    if (rest.size() > 2 && rest[2] != '/') return std::nullopt;
    if (HasEncodedSeparator(rest)) return std::nullopt;
    const char drive = rest[0] >= 'a' ? static_cast<char>(rest[0] - 'a' + 'A') : rest[0];
    return SiteOrigin{SiteScheme::File, {}, 0, drive};
}

PageUrlReading ReadNetworkUrl(std::string_view rest, SiteScheme scheme) {
    if (!rest.starts_with("//")) return {std::nullopt, PageUrlProblem::NoAuthority};
    rest.remove_prefix(2);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    // Userinfo is how "https://allowed.example@evil.example/" looks allowed;
    // a percent sign is a host or port written so that it may decode to
    // another one.
    if (authority.find('@') != std::string_view::npos) return {std::nullopt, PageUrlProblem::UserInfo};
    if (authority.find('%') != std::string_view::npos) return {std::nullopt, PageUrlProblem::PercentSign};
    auto origin = site_text::ParseAuthority(authority, scheme);
    if (!origin) return {std::nullopt, PageUrlProblem::HostOrPort};
    return {std::move(origin)};
}

}  // namespace

const char* PageUrlProblemText(PageUrlProblem problem) {
    switch (problem) {
        case PageUrlProblem::None:
            return "";
        case PageUrlProblem::Empty:
            return "empty";
        case PageUrlProblem::ForbiddenCharacter:
            return "has a control character or a backslash";
        case PageUrlProblem::Scheme:
            return "is not an http, https or file URL";
        case PageUrlProblem::NoAuthority:
            return "has no //host";
        case PageUrlProblem::UserInfo:
            return "has a user name";
        case PageUrlProblem::PercentSign:
            return "has a percent sign in the host or port";
        case PageUrlProblem::HostOrPort:
            return "the host or the port cannot be read";
        case PageUrlProblem::FileNotLocal:
            return "is not a file on a drive of this computer (a share, or no drive letter)";
    }
    return "";
}

PageUrlReading ReadPageUrl(std::string_view url) {
    if (url.empty()) return {std::nullopt, PageUrlProblem::Empty};
    if (HasForbiddenCharacter(url)) return {std::nullopt, PageUrlProblem::ForbiddenCharacter};
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos) return {std::nullopt, PageUrlProblem::Scheme};
    const std::string_view scheme = url.substr(0, colon);
    const std::string_view rest = url.substr(colon + 1);
    if (EqualsIgnoringCase(scheme, "https")) return ReadNetworkUrl(rest, SiteScheme::Https);
    if (EqualsIgnoringCase(scheme, "http")) return ReadNetworkUrl(rest, SiteScheme::Http);
    if (EqualsIgnoringCase(scheme, "file")) {
        auto origin = ParseFileUrl(rest);
        if (!origin) return {std::nullopt, PageUrlProblem::FileNotLocal};
        return {std::move(origin)};
    }
    return {std::nullopt, PageUrlProblem::Scheme};
}

std::optional<SiteOrigin> ParsePageUrl(std::string_view url) {
    return ReadPageUrl(url).origin;
}

std::string OriginText(const SiteOrigin& origin) {
    if (origin.scheme == SiteScheme::File) return "file:";
    return std::string(origin.scheme == SiteScheme::Https ? "https://" : "http://") + origin.host + ":" +
           std::to_string(origin.port);
}
