#include "tests/vectors/der_builder.h"

#include <stdexcept>

namespace der {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Length(size_t length) {
    if (length < 0x80) return {static_cast<uint8_t>(length)};
    Bytes octets;
    for (size_t rest = length; rest != 0; rest >>= 8) octets.insert(octets.begin(), static_cast<uint8_t>(rest));
    octets.insert(octets.begin(), static_cast<uint8_t>(0x80 | octets.size()));
    return octets;
}

Bytes Tlv(uint8_t tag, const Bytes& content) {
    Bytes out{tag};
    const Bytes length = Length(content.size());
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Sequence(std::initializer_list<Bytes> elements) {
    return Tlv(0x30, Concat(elements));
}
Bytes Set(std::initializer_list<Bytes> elements) {
    return Tlv(0x31, Concat(elements));
}
Bytes Integer(const Bytes& contentOctets) {
    return Tlv(0x02, contentOctets);
}
Bytes Boolean(bool value) {
    return Tlv(0x01, {static_cast<uint8_t>(value ? 0xFF : 0x00)});
}
Bytes Null() {
    return Tlv(0x05, {});
}

Bytes Oid(std::initializer_list<uint32_t> arcs) {
    if (arcs.size() < 2) throw std::invalid_argument("an OID has at least two arcs");
    auto arc = arcs.begin();
    const uint32_t first = *arc++ * 40;
    Bytes content;
    for (uint32_t value = first + *arc++;; value = *arc++) {
        Bytes base128{static_cast<uint8_t>(value & 0x7F)};
        for (value >>= 7; value != 0; value >>= 7)
            base128.insert(base128.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
        content.insert(content.end(), base128.begin(), base128.end());
        if (arc == arcs.end()) break;
    }
    return Tlv(0x06, content);
}

Bytes Utf8String(std::string_view text) {
    return Tlv(0x0C, Bytes(text.begin(), text.end()));
}
Bytes OctetString(const Bytes& content) {
    return Tlv(0x04, content);
}
Bytes BitString(const Bytes& content) {
    return Tlv(0x03, Concat({{0x00}, content}));
}
Bytes UtcTime(std::string_view text) {
    return Tlv(0x17, Bytes(text.begin(), text.end()));
}
Bytes GeneralizedTime(std::string_view text) {
    return Tlv(0x18, Bytes(text.begin(), text.end()));
}
Bytes Explicit(uint8_t number, const Bytes& inner) {
    return Tlv(static_cast<uint8_t>(0xA0 | number), inner);
}

Bytes CommonName(std::string_view name) {
    return Sequence({Set({Sequence({Oid({2, 5, 4, 3}), Utf8String(name)})})});
}

Bytes Extension(const Bytes& oid, bool critical, const Bytes& value) {
    return critical ? Sequence({oid, Boolean(true), OctetString(value)}) : Sequence({oid, OctetString(value)});
}

}  // namespace der

namespace {

using der::Bytes;

const Bytes& Ed25519() {
    static const Bytes algorithm = der::Sequence({der::Oid({1, 3, 101, 112})});
    return algorithm;
}

Bytes Pattern(size_t length, uint8_t seed) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

// An extension of a private arc, non-critical, whose value is `length` octets.
Bytes PaddingExtension(size_t length) {
    return der::Extension(der::Oid({1, 3, 6, 1, 4, 1, 32473, 1}), false, Pattern(length, 0x5A));
}

}  // namespace

Bytes TestCertificate::BuildTbs() const {
    Bytes tbs;
    if (versionField)
        tbs = *versionField;
    else if (version != 1)
        tbs = der::Explicit(0, der::Integer({static_cast<uint8_t>(version - 1)}));
    tbs = der::Concat({tbs, der::Integer(serial), Ed25519(), issuer, der::Sequence({notBefore, notAfter}), subject,
                       der::Sequence({Ed25519(), der::BitString(Pattern(32, 0x11))}), uniqueIds});
    if (!extensions.empty()) {
        Bytes list;
        for (const Bytes& extension : extensions) list = der::Concat({list, extension});
        tbs = der::Concat({tbs, der::Explicit(3, der::Tlv(0x30, list))});
    }
    return der::Tlv(0x30, tbs);
}

Bytes TestCertificate::Signed(const Bytes& tbs, const Bytes& signature) {
    return der::Sequence({tbs, Ed25519(), signature});
}

Bytes TestCertificate::Signature() {
    return der::BitString(Pattern(64, 0xC3));
}

Bytes TestCertificate::Build() const {
    return Signed(BuildTbs(), Signature());
}

Bytes TestCertificate::BuildOfSize(size_t size) const {
    const size_t bare = Build().size();
    TestCertificate padded = *this;
    padded.extensions.push_back({});
    // Each octet of padding adds one octet, plus one more wherever a length
    // needs a longer form: search a little below the plain difference.
    for (size_t length = size > bare + 32 ? size - bare - 32 : 0; length <= size; ++length) {
        padded.extensions.back() = PaddingExtension(length);
        const Bytes certificate = padded.Build();
        if (certificate.size() == size) return certificate;
        if (certificate.size() > size) break;
    }
    throw std::invalid_argument("no certificate of exactly this size");
}
