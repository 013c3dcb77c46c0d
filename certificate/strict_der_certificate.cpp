#include "certificate/strict_der_certificate.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>

namespace {

using Bytes = std::span<const uint8_t>;

// Identifier octets of the universal types checked here.
enum : uint8_t {
    kBoolean = 0x01,
    kInteger = 0x02,
    kBitString = 0x03,
    kOctetString = 0x04,
    kNull = 0x05,
    kObjectIdentifier = 0x06,
    kEnumerated = 0x0A,
    kUtf8String = 0x0C,
    kNumericString = 0x12,
    kPrintableString = 0x13,
    kTeletexString = 0x14,
    kIa5String = 0x16,
    kUtcTime = 0x17,
    kGeneralizedTime = 0x18,
    kUniversalString = 0x1C,
    kBmpString = 0x1E,
    kSequence = 0x30,
    kSet = 0x31,
};

// Identifier octets of the tagged fields of a TBSCertificate.
enum : uint8_t {
    kVersionField = 0xA0,          // [0] EXPLICIT Version
    kIssuerUniqueIdField = 0x81,   // [1] IMPLICIT BIT STRING
    kSubjectUniqueIdField = 0x82,  // [2] IMPLICIT BIT STRING
    kExtensionsField = 0xA3,       // [3] EXPLICIT Extensions
};

constexpr uint8_t kConstructed = 0x20;
constexpr uint8_t kClassMask = 0xC0;
constexpr uint8_t kHighTagNumber = 0x1F;
// Real certificates nest about ten deep; the bound keeps hostile input from
// exhausting the stack.
constexpr int kMaxNesting = 32;
// FILETIME, and so CryptoAPI, cannot hold an earlier year.
constexpr int kEarliestYear = 1601;

struct Element {
    uint8_t identifier = 0;  // the first identifier octet
    Bytes content;

    bool Constructed() const { return (identifier & kConstructed) != 0; }
    bool Universal() const { return (identifier & kClassMask) == 0; }
};

// Reads the elements of one level in turn, accepting only DER encodings of
// identifier and length.
class ElementReader {
public:
    explicit ElementReader(Bytes bytes) : rest_(bytes) {}

    bool AtEnd() const { return rest_.empty(); }

    std::optional<Element> Next() {
        Bytes rest = rest_;
        Element element;
        size_t length = 0;
        if (!ReadIdentifier(rest, element.identifier) || !ReadLength(rest, length) || length > rest.size())
            return std::nullopt;
        element.content = rest.first(length);
        rest_ = rest.subspan(length);
        return element;
    }

    // The next element when it carries `identifier`; otherwise nothing is read.
    std::optional<Element> NextIf(uint8_t identifier) {
        ElementReader ahead = *this;
        std::optional<Element> element = ahead.Next();
        if (!element || element->identifier != identifier) return std::nullopt;
        *this = ahead;
        return element;
    }

private:
    static bool ReadIdentifier(Bytes& rest, uint8_t& identifier) {
        if (rest.empty()) return false;
        identifier = rest[0];
        rest = rest.subspan(1);
        if ((identifier & kHighTagNumber) != kHighTagNumber) return true;
        // A tag number of 31 or more in base 128, in the fewest octets.
        uint32_t number = 0;
        for (size_t octets = 0;; ++octets) {
            if (rest.empty() || octets == 4 || (octets == 0 && rest[0] == 0x80)) return false;
            const uint8_t octet = rest[0];
            rest = rest.subspan(1);
            number = number << 7 | (octet & 0x7F);
            if ((octet & 0x80) == 0) return number >= kHighTagNumber;
        }
    }

    static bool ReadLength(Bytes& rest, size_t& length) {
        if (rest.empty()) return false;
        const uint8_t first = rest[0];
        rest = rest.subspan(1);
        if (first < 0x80) {
            length = first;
            return true;
        }
        // Long form: never indefinite (0x80), no leading zero octet, and only
        // for lengths the short form cannot hold.
        const size_t octets = first & 0x7F;
        if (octets == 0 || octets > 4 || rest.size() < octets || rest[0] == 0) return false;
        length = 0;
        for (size_t i = 0; i < octets; ++i) length = length << 8 | rest[i];
        rest = rest.subspan(octets);
        return length >= 0x80;
    }

    Bytes rest_;
};

bool IsShortestInteger(Bytes content) {
    if (content.empty()) return false;
    if (content.size() == 1) return true;
    // A leading 00 only before a set top bit, a leading FF only before a clear one.
    return !(content[0] == 0x00 && (content[1] & 0x80) == 0) && !(content[0] == 0xFF && (content[1] & 0x80) != 0);
}

bool IsDerBitString(Bytes content) {
    if (content.empty() || content[0] > 7) return false;
    if (content.size() == 1) return content[0] == 0;
    const uint8_t unusedBits = static_cast<uint8_t>((1u << content[0]) - 1);
    return (content.back() & unusedBits) == 0;
}

bool IsObjectIdentifier(Bytes content) {
    if (content.empty() || (content.back() & 0x80) != 0) return false;
    // Every sub-identifier in the fewest octets: none starts with 0x80.
    bool atStart = true;
    for (uint8_t octet : content) {
        if (atStart && octet == 0x80) return false;
        atStart = (octet & 0x80) == 0;
    }
    return true;
}

bool IsUnicodeScalar(uint32_t value) {
    return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(Bytes text) {
    static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = text[i];
        size_t extra = 0;
        if (lead >= 0x80) {
            if ((lead & 0xE0) == 0xC0)
                extra = 1;
            else if ((lead & 0xF0) == 0xE0)
                extra = 2;
            else if ((lead & 0xF8) == 0xF0)
                extra = 3;
            else
                return false;
        }
        if (text.size() - i <= extra) return false;
        uint32_t value = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            if ((text[i + k] & 0xC0) != 0x80) return false;
            value = value << 6 | (text[i + k] & 0x3F);
        }
        if (value < kSmallest[extra] || !IsUnicodeScalar(value)) return false;
        i += extra + 1;
    }
    return true;
}

bool IsBmpText(Bytes text) {
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        if (!IsUnicodeScalar(static_cast<uint32_t>(text[i] << 8 | text[i + 1]))) return false;
    return true;
}

bool IsUniversalText(Bytes text) {
    for (size_t i = 0; i + 3 < text.size(); i += 4) {
        const uint32_t value =
            static_cast<uint32_t>(text[i]) << 24 | text[i + 1] << 16 | text[i + 2] << 8 | text[i + 3];
        if (!IsUnicodeScalar(value)) return false;
    }
    return true;
}

// The DER rules for the content of a primitive universal element.
bool IsDerPrimitive(const Element& element) {
    switch (element.identifier) {
        case kBoolean:
            return element.content.size() == 1;
        case kInteger:
        case kEnumerated:
            return IsShortestInteger(element.content);
        case kBitString:
            return IsDerBitString(element.content);
        case kNull:
            return element.content.empty();
        case kObjectIdentifier:
            return IsObjectIdentifier(element.content);
        case kBmpString:
            return element.content.size() % 2 == 0;
        case kUniversalString:
            return element.content.size() % 4 == 0;
        default:
            return true;
    }
}

bool IsDerThroughout(Bytes bytes, int depth) {
    ElementReader reader(bytes);
    while (!reader.AtEnd()) {
        const std::optional<Element> element = reader.Next();
        if (!element) return false;
        if (element->Universal()) {
            const uint8_t number = element->identifier & kHighTagNumber;
            // DER builds only SEQUENCE and SET; strings are always primitive.
            const bool mayBeConstructed = number == (kSequence & kHighTagNumber) || number == (kSet & kHighTagNumber);
            if (number == 0 || number == kHighTagNumber || element->Constructed() != mayBeConstructed) return false;
            if (!element->Constructed() && !IsDerPrimitive(*element)) return false;
        }
        if (element->Constructed() && (depth == kMaxNesting || !IsDerThroughout(element->content, depth + 1)))
            return false;
    }
    return true;
}

// ---- The X.509 layout. The encoding rules above already hold everywhere.

bool IsAlgorithmIdentifier(const std::optional<Element>& element) {
    if (!element) return false;
    ElementReader fields(element->content);
    if (!fields.NextIf(kObjectIdentifier)) return false;
    if (!fields.AtEnd()) fields.Next();  // parameters of any type
    return fields.AtEnd();
}

bool IsVersion(Bytes content) {
    ElementReader fields(content);
    const std::optional<Element> version = fields.NextIf(kInteger);
    return version && fields.AtEnd() && version->content.size() == 1 && version->content[0] <= 2;
}

bool IsDirectoryString(const Element& value) {
    switch (value.identifier) {
        case kUtf8String:
            return IsUtf8(value.content);
        case kBmpString:
            return IsBmpText(value.content);
        case kUniversalString:
            return IsUniversalText(value.content);
        case kNumericString:
        case kPrintableString:
        case kTeletexString:
        case kIa5String:
        case kBitString:
            return true;
        default:
            return false;
    }
}

bool IsAttribute(Bytes content) {
    ElementReader fields(content);
    if (!fields.NextIf(kObjectIdentifier)) return false;
    const std::optional<Element> value = fields.Next();
    return value && IsDirectoryString(*value) && fields.AtEnd();
}

bool IsName(const std::optional<Element>& element) {
    if (!element || element->identifier != kSequence) return false;
    ElementReader names(element->content);
    while (!names.AtEnd()) {
        const std::optional<Element> relative = names.NextIf(kSet);
        if (!relative) return false;
        ElementReader attributes(relative->content);
        while (!attributes.AtEnd()) {
            const std::optional<Element> attribute = attributes.NextIf(kSequence);
            if (!attribute || !IsAttribute(attribute->content)) return false;
        }
    }
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads `count` decimal digits at `text[at]`, or -1.
int Digits(Bytes text, size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// YYMMDDHHMMSSZ or YYYYMMDDHHMMSSZ, naming a second that exists.
bool IsTime(const std::optional<Element>& element) {
    if (!element) return false;
    const Bytes text = element->content;
    size_t yearDigits = 0;
    if (element->identifier == kUtcTime) yearDigits = 2;
    if (element->identifier == kGeneralizedTime) yearDigits = 4;
    if (yearDigits == 0 || text.size() != yearDigits + 11 || text.back() != 'Z') return false;
    int year = Digits(text, 0, yearDigits);
    if (yearDigits == 2 && year >= 0) year += year < 50 ? 2000 : 1900;
    const int month = Digits(text, yearDigits, 2);
    const int day = Digits(text, yearDigits + 2, 2);
    const int hour = Digits(text, yearDigits + 4, 2);
    const int minute = Digits(text, yearDigits + 6, 2);
    const int second = Digits(text, yearDigits + 8, 2);
    return year >= kEarliestYear && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) &&
           hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

bool IsValidity(const std::optional<Element>& element) {
    if (!element || element->identifier != kSequence) return false;
    ElementReader times(element->content);
    return IsTime(times.Next()) && IsTime(times.Next()) && times.AtEnd();
}

bool IsSubjectPublicKeyInfo(const std::optional<Element>& element) {
    if (!element || element->identifier != kSequence) return false;
    ElementReader fields(element->content);
    return IsAlgorithmIdentifier(fields.NextIf(kSequence)) && fields.NextIf(kBitString) && fields.AtEnd();
}

bool IsExtension(Bytes content) {
    ElementReader fields(content);
    if (!fields.NextIf(kObjectIdentifier)) return false;
    fields.NextIf(kBoolean);  // critical, optional
    return fields.NextIf(kOctetString) && fields.AtEnd();
}

bool IsExtensions(Bytes content) {
    ElementReader outer(content);
    const std::optional<Element> list = outer.NextIf(kSequence);
    if (!list || !outer.AtEnd()) return false;
    ElementReader extensions(list->content);
    while (!extensions.AtEnd()) {
        const std::optional<Element> extension = extensions.NextIf(kSequence);
        if (!extension || !IsExtension(extension->content)) return false;
    }
    return true;
}

bool IsTbsCertificate(const std::optional<Element>& element) {
    if (!element) return false;
    ElementReader fields(element->content);
    if (const auto version = fields.NextIf(kVersionField); version && !IsVersion(version->content)) return false;
    if (!fields.NextIf(kInteger)) return false;  // serial number
    if (!IsAlgorithmIdentifier(fields.NextIf(kSequence))) return false;
    if (!IsName(fields.Next())) return false;  // issuer
    if (!IsValidity(fields.Next())) return false;
    if (!IsName(fields.Next())) return false;  // subject
    if (!IsSubjectPublicKeyInfo(fields.Next())) return false;
    // The unique identifiers are IMPLICIT BIT STRINGs, outside the universal
    // rules above, and must be primitive like any DER BIT STRING.
    for (uint8_t field : {kIssuerUniqueIdField, kSubjectUniqueIdField})
        if (const auto id = fields.NextIf(field); id && !IsDerBitString(id->content)) return false;
    if (const auto extensions = fields.NextIf(kExtensionsField); extensions && !IsExtensions(extensions->content))
        return false;
    return fields.AtEnd();
}

}  // namespace

bool IsStrictDerCertificate(const uint8_t* der, size_t length) {
    if (der == nullptr || length == 0 || length > UINT32_MAX) return false;
    const Bytes bytes(der, length);
    ElementReader outer(bytes);
    const std::optional<Element> certificate = outer.NextIf(kSequence);
    if (!certificate || !outer.AtEnd() || !IsDerThroughout(bytes, 0)) return false;
    ElementReader parts(certificate->content);
    return IsTbsCertificate(parts.NextIf(kSequence)) && IsAlgorithmIdentifier(parts.NextIf(kSequence)) &&
           parts.NextIf(kBitString) && parts.AtEnd();
}
