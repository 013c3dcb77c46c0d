// Builds DER for test certificates one element at a time, so that a test
// states exactly which octets a certificate holds, and can break any of them.
// Nothing here normalises: an INTEGER gets the content octets it is given,
// a time the text it is given.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace der {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts);

// Definite length in the shortest form.
Bytes Length(size_t length);
Bytes Tlv(uint8_t tag, const Bytes& content);

Bytes Sequence(std::initializer_list<Bytes> elements);
Bytes Set(std::initializer_list<Bytes> elements);
Bytes Integer(const Bytes& contentOctets);
Bytes Boolean(bool value);
Bytes Null();
Bytes Oid(std::initializer_list<uint32_t> arcs);
Bytes Utf8String(std::string_view text);
Bytes OctetString(const Bytes& content);
Bytes BitString(const Bytes& content);  // no unused bits
Bytes UtcTime(std::string_view text);
Bytes GeneralizedTime(std::string_view text);
// [number] EXPLICIT: a constructed context-specific element around `inner`.
Bytes Explicit(uint8_t number, const Bytes& inner);

// Name with a single common name.
Bytes CommonName(std::string_view name);
Bytes Extension(const Bytes& oid, bool critical, const Bytes& value);

}  // namespace der

// One X.509 certificate with an Ed25519 key and signature (made-up octets:
// only the encoding matters here, never the signature).
struct TestCertificate {
    int version = 3;  // 1 leaves the version field out, as DER requires for v1
    der::Bytes serial{0x01};
    der::Bytes notBefore = der::UtcTime("200301080000Z");
    der::Bytes notAfter = der::UtcTime("300228235959Z");
    der::Bytes issuer = der::CommonName("Test Root");  // Name
    der::Bytes subject = der::CommonName("Test Leaf");
    std::vector<der::Bytes> extensions;  // each a der::Extension; only with version 3
    // Raw overrides for encodings the fields above cannot express.
    std::optional<der::Bytes> versionField;  // the whole [0] element
    der::Bytes uniqueIds;                    // [1] and [2], between the key and the extensions

    der::Bytes Build() const;
    der::Bytes BuildTbs() const;
    // A certificate around any TBS, signed with `signature` (a BIT STRING).
    static der::Bytes Signed(const der::Bytes& tbs, const der::Bytes& signature);
    static der::Bytes Signature();
    // Pads with a private extension so that Build() is exactly `size` bytes.
    der::Bytes BuildOfSize(size_t size) const;
};
