#include "tests/vectors/certificate_vectors.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "codec/base64.h"
#include "tests/vectors/der_builder.h"

namespace {

using der::Bytes;

std::string Text(const Bytes& bytes) {
    return Base64().Encode(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

CertificateVector Parsed(std::string name, const Bytes& certificate, std::string validity, std::string serial) {
    return {std::move(name), Text(certificate), std::move(validity), std::move(serial)};
}

CertificateVector Refused(std::string name, std::string text) {
    return {std::move(name), std::move(text), std::nullopt, std::nullopt};
}

CertificateVector Refused(std::string name, const Bytes& bytes) {
    return Refused(std::move(name), Text(bytes));
}

TestCertificate WithSerial(Bytes serial) {
    TestCertificate certificate;
    certificate.serial = std::move(serial);
    return certificate;
}

TestCertificate WithValidity(Bytes notBefore, Bytes notAfter) {
    TestCertificate certificate;
    certificate.notBefore = std::move(notBefore);
    certificate.notAfter = std::move(notAfter);
    return certificate;
}

// The certificate with its outer SEQUENCE's length octets replaced (and
// `tail` appended), for the BER forms of a length.
Bytes WithOuterLength(const Bytes& certificate, const Bytes& lengthOctets, const Bytes& tail = {}) {
    const size_t header = (certificate[1] & 0x80) ? 2 + (certificate[1] & 0x7F) : 2;
    Bytes out{certificate[0]};
    out.insert(out.end(), lengthOctets.begin(), lengthOctets.end());
    out.insert(out.end(), certificate.begin() + static_cast<long>(header), certificate.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// Replaces the first occurrence of `from` in `bytes` by `to` (same length).
Bytes Patched(Bytes bytes, const Bytes& from, const Bytes& to) {
    const auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    if (at == bytes.end() || from.size() != to.size()) throw std::logic_error("nothing to patch");
    std::copy(to.begin(), to.end(), at);
    return bytes;
}

Bytes IssuerValued(const Bytes& value) {
    TestCertificate certificate;
    certificate.issuer = der::Sequence({der::Set({der::Sequence({der::Oid({2, 5, 4, 3}), value})})});
    return certificate.Build();
}

std::string Pem(const std::string& base64) {
    std::string pem = "-----BEGIN CERTIFICATE-----\n";
    for (size_t at = 0; at < base64.size(); at += 64) pem += base64.substr(at, 64) + "\n";
    return pem + "-----END CERTIFICATE-----\n";
}

std::string InLines(const std::string& base64) {
    std::string lines;
    for (size_t at = 0; at < base64.size(); at += 64) lines += base64.substr(at, 64) + "\r\n";
    return lines;
}

std::vector<CertificateVector> ParsedVectors() {
    using der::GeneralizedTime;
    using der::UtcTime;
    constexpr const char* kPlainValidity = "2020/03/01 08:00:00,2030/02/28 23:59:59";
    TestCertificate version1;
    version1.version = 1;
    version1.serial = {0x02};
    TestCertificate withExtensions;
    withExtensions.serial = {0x10, 0x00};
    withExtensions.extensions = {
        der::Extension(der::Oid({2, 5, 29, 19}), true, der::Sequence({der::Boolean(true)})),  // CA
        der::Extension(der::Oid({2, 5, 29, 15}), true, der::BitString({0x06}))};              // keyCertSign, cRLSign
    TestCertificate uniqueIds;
    uniqueIds.uniqueIds = der::Concat({der::Tlv(0x81, {0x00, 0x5A}), der::Tlv(0x82, {0x04, 0xF0})});
    TestCertificate everyString;
    const auto attribute = [](std::initializer_list<uint32_t> type, uint8_t tag, Bytes value) {
        return der::Set({der::Sequence({der::Oid(type), der::Tlv(tag, value)})});
    };
    everyString.issuer = der::Sequence({
        attribute({2, 5, 4, 6}, 0x13, {'C', 'N'}),                                                    // PrintableString
        attribute({2, 5, 4, 10}, 0x14, {'T', 0xE9, 'l', 0xE9, 'x'}),                                  // TeletexString
        attribute({2, 5, 4, 11}, 0x1E, {0x4E, 0x2D, 0x65, 0x87}),                                     // BMPString
        attribute({2, 5, 4, 3}, 0x0C, {0xE8, 0xAF, 0x81, 0xE4, 0xB9, 0xA6, 0xF0, 0x9F, 0x94, 0x91}),  // UTF8String
        attribute({2, 5, 4, 5}, 0x12, {'0', '1', ' ', '2'}),                                          // NumericString
        attribute({1, 2, 840, 113549, 1, 9, 1}, 0x16, {'a', '@', 'b'}),                               // IA5String
        attribute({2, 5, 4, 65}, 0x1C, {0x00, 0x01, 0xF5, 0x11}),                                     // UniversalString
        attribute({2, 5, 4, 45}, 0x03, {0x00, 0x01}),                                                 // BIT STRING
        der::Set({}),                                                                                 // an empty RDN
    });
    Bytes serial20{0x7F};
    for (uint8_t octet = 1; octet < 20; ++octet) serial20.push_back(octet);
    Bytes serial32{0x00};
    for (uint8_t octet = 0; octet < 31; ++octet) serial32.push_back(static_cast<uint8_t>(0x80 + octet));

    return {
        Parsed("validity from 2020-03-01 08:00:00 to 2030-02-28 23:59:59 UTC", TestCertificate{}.Build(),
               kPlainValidity, "AQ=="),
        Parsed("UTCTime years 50 and 49 are 1950 and 2049",
               WithValidity(UtcTime("500101000000Z"), UtcTime("491231235959Z")).Build(),
               "1950/01/01 00:00:00,2049/12/31 23:59:59", "AQ=="),
        Parsed("GeneralizedTime past 2049",
               WithValidity(UtcTime("250615120000Z"), GeneralizedTime("20750615120000Z")).Build(),
               "2025/06/15 12:00:00,2075/06/15 12:00:00", "AQ=="),
        Parsed("GeneralizedTime years as written, 1999 to 9999",
               WithValidity(GeneralizedTime("19991231235959Z"), GeneralizedTime("99991231235959Z")).Build(),
               "1999/12/31 23:59:59,9999/12/31 23:59:59", "AQ=="),
        Parsed("earliest year and a leap day",
               WithValidity(GeneralizedTime("16010101000000Z"), UtcTime("000229120000Z")).Build(),
               "1601/01/01 00:00:00,2000/02/29 12:00:00", "AQ=="),
        Parsed("expired long ago", WithValidity(UtcTime("010101000000Z"), UtcTime("020101000000Z")).Build(),
               "2001/01/01 00:00:00,2002/01/01 00:00:00", "AQ=="),
        Parsed("not valid yet",
               WithValidity(GeneralizedTime("20900101000000Z"), GeneralizedTime("20910101000000Z")).Build(),
               "2090/01/01 00:00:00,2091/01/01 00:00:00", "AQ=="),
        Parsed("serial 00 8F keeps its leading zero", WithSerial({0x00, 0x8F}).Build(), kPlainValidity, "jwA="),
        Parsed("serial 01 02 03 is reversed", WithSerial({0x01, 0x02, 0x03}).Build(), kPlainValidity, "AwIB"),
        Parsed("serial of 20 octets", WithSerial(serial20).Build(), kPlainValidity, "ExIREA8ODQwLCgkIBwYFBAMCAX8="),
        Parsed("serial of 32 octets", WithSerial(serial32).Build(), kPlainValidity,
               "np2cm5qZmJeWlZSTkpGQj46NjIuKiYiHhoWEg4KBgAA="),
        Parsed("negative serial FE DC BA in two's complement", WithSerial({0xFE, 0xDC, 0xBA}).Build(), kPlainValidity,
               "utz+"),
        Parsed("serial zero", WithSerial({0x00}).Build(), kPlainValidity, "AA=="),
        Parsed("version 1, no extensions", version1.Build(), kPlainValidity, "Ag=="),
        Parsed("version 3 with extensions", withExtensions.Build(), kPlainValidity, "ABA="),
        Parsed("unique identifiers", uniqueIds.Build(), kPlainValidity, "AQ=="),
        Parsed("issuer in every directory string type", everyString.Build(), kPlainValidity, "AQ=="),
        Parsed("exactly 4096 bytes", TestCertificate{}.BuildOfSize(kCertificateBufferSize), kPlainValidity, "AQ=="),
    };
}

std::vector<CertificateVector> RefusedVectors() {
    using der::GeneralizedTime;
    using der::UtcTime;
    const Bytes plain = TestCertificate{}.Build();
    if (plain[1] != 0x81) throw std::logic_error("the plain certificate's length is no longer one long-form octet");
    const std::string plainText = Text(plain);
    TestCertificate version4;
    version4.version = 4;
    TestCertificate paddedOid;
    paddedOid.issuer =
        der::Sequence({der::Set({der::Sequence({der::Tlv(0x06, {0x55, 0x80, 0x03}), der::Utf8String("a")})})});
    TestCertificate versionWithMore;
    versionWithMore.versionField = der::Explicit(0, der::Concat({der::Integer({0x02}), der::Null()}));
    TestCertificate constructedUniqueId;
    constructedUniqueId.uniqueIds = der::Tlv(0xA1, der::BitString({0x01}));
    TestCertificate emptyExtensionOid;
    emptyExtensionOid.extensions = {der::Extension(der::Tlv(0x06, {}), false, der::Sequence({}))};
    Bytes longerLength = plain;
    ++longerLength[2];  // the outer length, one octet past 0x81
    return {
        // What a page may get wrong.
        Refused("empty text", std::string()),
        Refused("PEM armour", Pem(plainText)),
        Refused("Base64 in lines", InLines(plainText)),
        Refused("not Base64 at all", std::string("this is not a certificate")),
        Refused("truncated by one byte", Bytes(plain.begin(), plain.end() - 1)),
        Refused("truncated to half", Bytes(plain.begin(), plain.begin() + static_cast<long>(plain.size() / 2))),
        Refused("corrupted length", longerLength),
        Refused("corrupted: serial tagged OCTET STRING", Patched(plain, {0x02, 0x01, 0x01}, {0x04, 0x01, 0x01})),
        Refused("more than 4096 bytes", TestCertificate{}.BuildOfSize(kCertificateBufferSize + 1)),
        // Loose or out-of-profile encodings, refused before either platform
        // parser sees them: OpenSSL and CryptoAPI read most of these differently.
        Refused("trailing byte", der::Concat({plain, {0x00}})),
        Refused("two certificates", der::Concat({plain, plain})),
        Refused("indefinite length", WithOuterLength(plain, {0x80}, {0x00, 0x00})),
        Refused("length not in its shortest form", WithOuterLength(plain, {0x82, 0x00, plain[2]})),
        Refused("serial padded with 00", WithSerial({0x00, 0x01}).Build()),
        Refused("serial padded with FF", WithSerial({0xFF, 0x80}).Build()),
        Refused("empty serial", WithSerial({}).Build()),
        Refused("version 4", version4.Build()),
        Refused("version field holding more than the version", versionWithMore.Build()),
        Refused("unique identifier in constructed form", constructedUniqueId.Build()),
        Refused("extension with an empty OID", emptyExtensionOid.Build()),
        Refused("UTCTime without seconds", WithValidity(UtcTime("2003010800Z"), UtcTime("300228235959Z")).Build()),
        Refused("UTCTime with an offset", WithValidity(UtcTime("200301080000+0800"), UtcTime("300228235959Z")).Build()),
        Refused("UTCTime without Z", WithValidity(UtcTime("200301080000"), UtcTime("300228235959Z")).Build()),
        Refused("GeneralizedTime with a fraction",
                WithValidity(GeneralizedTime("20200301080000.5Z"), UtcTime("300228235959Z")).Build()),
        Refused("GeneralizedTime with an offset",
                WithValidity(GeneralizedTime("20200301080000-0130"), UtcTime("300228235959Z")).Build()),
        Refused("GeneralizedTime year 1600",
                WithValidity(GeneralizedTime("16001231235959Z"), UtcTime("300228235959Z")).Build()),
        Refused("29 February 2100", WithValidity(UtcTime("200301080000Z"), GeneralizedTime("21000229000000Z")).Build()),
        Refused("hour 24", WithValidity(UtcTime("200301240000Z"), UtcTime("300228235959Z")).Build()),
        Refused("second 60", WithValidity(UtcTime("200301235960Z"), UtcTime("300228235959Z")).Build()),
        Refused("time with a letter in it", WithValidity(UtcTime("2003010800x0Z"), UtcTime("300228235959Z")).Build()),
        Refused("name value NULL", IssuerValued(der::Null())),
        Refused("name value VisibleString", IssuerValued(der::Tlv(0x1A, {'a'}))),
        Refused("name value of bad UTF-8", IssuerValued(der::Tlv(0x0C, {0xC3, 0x28}))),
        Refused("name value of odd BMP length", IssuerValued(der::Tlv(0x1E, {0x00, 0x41, 0x00}))),
        Refused("name attribute type with padded OID", paddedOid.Build()),
        // Wine's CryptoAPI refuses this one but damages its own heap doing so.
        Refused("empty signature BIT STRING",
                TestCertificate::Signed(TestCertificate{}.BuildTbs(), der::Tlv(0x03, {}))),
        Refused("signature BIT STRING of 8 unused bits",
                TestCertificate::Signed(TestCertificate{}.BuildTbs(), der::Tlv(0x03, {0x08, 0x00}))),
        Refused("signature BIT STRING with unused bits set",
                TestCertificate::Signed(TestCertificate{}.BuildTbs(), der::Tlv(0x03, {0x01, 0xFF}))),
    };
}

}  // namespace

const std::vector<CertificateVector>& CertificateVectors() {
    static const std::vector<CertificateVector> vectors = [] {
        std::vector<CertificateVector> all = ParsedVectors();
        std::vector<CertificateVector> refused = RefusedVectors();
        all.insert(all.end(), refused.begin(), refused.end());
        return all;
    }();
    return vectors;
}

std::vector<std::vector<uint8_t>> CertificateMutations() {
    std::vector<std::vector<uint8_t>> mutations;
    for (const CertificateVector& vector : CertificateVectors()) {
        const std::optional<std::vector<uint8_t>> certificate = DecodeCertificateText(vector.text);
        if (!vector.validity || !certificate || certificate->size() > 1024) continue;
        for (size_t at = 0; at < certificate->size(); ++at) {
            const uint8_t octet = (*certificate)[at];
            for (const uint8_t changed : {uint8_t(octet ^ 0x01), uint8_t(octet ^ 0x20), uint8_t(octet ^ 0x80),
                                          uint8_t(octet + 1), uint8_t(octet - 1), uint8_t(0x00), uint8_t(0xFF)}) {
                if (changed == octet) continue;
                mutations.push_back(*certificate);
                mutations.back()[at] = changed;
            }
        }
    }
    return mutations;
}

std::optional<std::vector<uint8_t>> DecodeCertificateText(std::string_view text) {
    std::vector<uint8_t> buffer(kCertificateBufferSize);
    uint32_t count = 0;
    if (!Base64().Decode(text, buffer.data(), kCertificateBufferSize, count)) return std::nullopt;
    buffer.resize(count);
    return buffer;
}

std::string ValidityText(const CertificateFields& fields) {
    char text[40] = {};
    const CertificateTime& a = fields.notBefore;
    const CertificateTime& b = fields.notAfter;
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d,%d/%02d/%02d %02d:%02d:%02d", a.year, a.month, a.day,
                  a.hour, a.minute, a.second, b.year, b.month, b.day, b.hour, b.minute, b.second);
    return text;
}

std::string SerialText(const CertificateFields& fields) {
    return Text(fields.serialNumber);
}

CertificateTexts CertificateTextsOf(std::string_view text) {
    const std::optional<std::vector<uint8_t>> bytes = DecodeCertificateText(text);
    if (!bytes) return {};
    const std::optional<CertificateFields> fields = ParseCertificate(bytes->data(), bytes->size());
    if (!fields) return {};
    return {ValidityText(*fields), SerialText(*fields)};
}
