// ParseCertificate with OpenSSL, against the shared vectors, the strict-DER
// check it stands behind, and certificates made by the openssl command.
// Runs with TZ far from UTC (see CMakeLists.txt) so no local time can hide.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "codec/base64.h"
#include "certificate/certificate.h"
#include "certificate/strict_der_certificate.h"
#include "tests/vectors/certificate_vectors.h"
#include "tests/vectors/der_builder.h"

namespace {

using der::Bytes;

bool Strict(const Bytes& bytes) {
    return IsStrictDerCertificate(bytes.data(), bytes.size());
}

TEST(CertificateEnvironment, RunsFarFromUtc) {
    // 2020-03-01 08:00:00 UTC read back as local time must not be UTC.
    std::time_t instant = 1583049600;
    std::tm local{};
    localtime_r(&instant, &local);
    EXPECT_NE(local.tm_hour, 8) << "set TZ (for example Asia/Shanghai) so local-time slips show";
}

TEST(CertificateVectors, EveryVectorGivesItsTexts) {
    for (const CertificateVector& vector : CertificateVectors()) {
        SCOPED_TRACE(vector.name);
        const CertificateTexts texts = CertificateTextsOf(vector.text);
        EXPECT_EQ(texts.validity, vector.validity);
        EXPECT_EQ(texts.serial, vector.serial);
    }
}

TEST(CertificateVectors, MutationsParseExactlyWhenStrict) {
    size_t parsed = 0;
    const std::vector<Bytes> mutations = CertificateMutations();
    for (const Bytes& mutation : mutations) {
        const bool strict = Strict(mutation);
        ASSERT_EQ(ParseCertificate(mutation.data(), mutation.size()).has_value(), strict)
            << Base64().Encode(mutation.data(), static_cast<uint32_t>(mutation.size()));
        parsed += strict;
    }
    // The sweep must reach the parser, not only the check.
    EXPECT_GT(parsed, mutations.size() / 10);
}

TEST(ParseCertificate, RefusesNullAndEmpty) {
    const Bytes certificate = TestCertificate{}.Build();
    EXPECT_FALSE(ParseCertificate(nullptr, 0));
    EXPECT_FALSE(ParseCertificate(nullptr, certificate.size()));
    EXPECT_FALSE(ParseCertificate(certificate.data(), 0));
}

TEST(ParseCertificate, TakesCertificatesLargerThanTheControlsBuffer) {
    // The 4096-byte bound belongs to the caller's decoding, not to the parser.
    const Bytes large = TestCertificate{}.BuildOfSize(9000);
    const auto fields = ParseCertificate(large.data(), large.size());
    ASSERT_TRUE(fields);
    EXPECT_EQ(ValidityText(*fields), "2020/03/01 08:00:00,2030/02/28 23:59:59");
    EXPECT_EQ(fields->serialNumber, Bytes{0x01});
}

// ---- The strict-DER check, rule by rule: each loose form is refused, and
// the same certificate written strictly is accepted.

struct CheckCase {
    const char* name;
    Bytes bytes;
};

Bytes WithSignatureAlgorithm(const Bytes& algorithm) {
    return der::Sequence({TestCertificate{}.BuildTbs(), algorithm, TestCertificate::Signature()});
}

Bytes WithIssuerValue(const Bytes& value) {
    TestCertificate certificate;
    certificate.issuer = der::Sequence({der::Set({der::Sequence({der::Oid({2, 5, 4, 3}), value})})});
    return certificate.Build();
}

TEST(StrictDerCertificate, AcceptsWhatX509AllowsInStrictForm) {
    TestCertificate criticalFalse;
    criticalFalse.extensions = {
        der::Sequence({der::Oid({2, 5, 29, 19}), der::Boolean(false), der::OctetString({0x30, 0x00})})};
    TestCertificate emptyExtensionList;
    emptyExtensionList.uniqueIds = der::Explicit(3, der::Sequence({}));  // the last field, where extensions go
    TestCertificate lengthsAroundTheLongForm;
    lengthsAroundTheLongForm.extensions = {
        der::Extension(der::Oid({1, 3, 6, 1, 4, 1, 32473, 3}), false, Bytes(127, 0x33)),
        der::Extension(der::Oid({1, 3, 6, 1, 4, 1, 32473, 4}), false, Bytes(128, 0x44))};
    TestCertificate emptyNames;
    emptyNames.issuer = der::Sequence({});
    emptyNames.subject = der::Sequence({});
    TestCertificate severalInOneRdn;
    severalInOneRdn.subject =
        der::Sequence({der::Set({der::Sequence({der::Oid({2, 5, 4, 3}), der::Utf8String("a")}),
                                 der::Sequence({der::Oid({2, 5, 4, 10}), der::Utf8String("b")})})});
    TestCertificate version2;
    version2.version = 2;
    TestCertificate explicitVersion1;
    explicitVersion1.versionField = der::Explicit(0, der::Integer({0x00}));
    const std::
        vector<CheckCase>
            cases =
                {
                    {"plain", TestCertificate{}.Build()},
                    {"explicit critical FALSE", criticalFalse.Build()},
                    {"empty extension list", emptyExtensionList.Build()},
                    {"lengths 127 and 128", lengthsAroundTheLongForm.Build()},
                    {"empty names", emptyNames.Build()},
                    {"several attributes in one RDN", severalInOneRdn.Build()},
                    {"version 2", version2.Build()},
                    {"version 1 written out", explicitVersion1.Build()},
                    {"algorithm parameters of any type",
                     WithSignatureAlgorithm(der::Sequence(
                         {der::Oid({1, 2, 840, 113549, 1, 1, 11}), der::Sequence({der::Integer({0x01})})}))},
                    {"algorithm parameters with a high tag number",
                     WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), Bytes{0x9F, 0x81, 0x00, 0x01, 0x00}}))},
                    {"algorithm parameters nested to the limit", WithSignatureAlgorithm(der::
                                                                                            Sequence(
                                                                                                {der::Oid({1, 2, 3}),
                                                                                                 [] {
                                                                                                     Bytes nested =
                                                                                                         der::Null();
                                                                                                     for (int depth = 0;
                                                                                                          depth < 30;
                                                                                                          ++depth)
                                                                                                         nested = der::
                                                                                                             Sequence(
                                                                                                                 {nested});
                                                                                                     return nested;
                                                                                                 }()}))},
                };
    for (const CheckCase& c : cases) {
        EXPECT_TRUE(Strict(c.bytes)) << c.name;
        EXPECT_TRUE(ParseCertificate(c.bytes.data(), c.bytes.size())) << c.name;
    }
}

TEST(StrictDerCertificate, RefusesEachLooseForm) {
    const Bytes plain = TestCertificate{}.Build();
    Bytes lengthInFiveOctets{0x30, 0x85, 0x00, 0x00, 0x00, 0x00, plain[2]};
    lengthInFiveOctets.insert(lengthInFiveOctets.end(), plain.begin() + 3, plain.end());
    Bytes lengthWithLeadingZero{0x30, 0x82, 0x00, plain[2]};
    lengthWithLeadingZero.insert(lengthWithLeadingZero.end(), plain.begin() + 3, plain.end());
    const auto deep = [](int depth) {
        Bytes nested = der::Null();
        for (int level = 0; level < depth; ++level) nested = der::Sequence({nested});
        return WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), nested}));
    };
    TestCertificate subjectUniqueIdFirst;
    subjectUniqueIdFirst.uniqueIds = der::Concat({der::Tlv(0x82, {0x00}), der::Tlv(0x81, {0x00})});
    TestCertificate uniqueIdUnusedBits;
    uniqueIdUnusedBits.uniqueIds = der::Tlv(0x81, {0x03, 0x0F});
    TestCertificate extensionsTwice;
    extensionsTwice.uniqueIds = der::Explicit(3, der::Sequence({}));
    extensionsTwice.extensions = {der::Extension(der::Oid({2, 5, 29, 19}), false, der::Sequence({}))};
    TestCertificate extensionWithoutValue;
    extensionWithoutValue.extensions = {der::Sequence({der::Oid({2, 5, 29, 19}), der::Boolean(true)})};
    TestCertificate extensionValueTwice;
    extensionValueTwice.extensions = {
        der::Sequence({der::Oid({2, 5, 29, 19}), der::OctetString({}), der::OctetString({})})};
    TestCertificate version0xFF;
    version0xFF.versionField = der::Explicit(0, der::Integer({0xFF}));
    TestCertificate threeTimes;
    threeTimes.notAfter = der::Concat({der::UtcTime("300228235959Z"), der::UtcTime("300228235959Z")});
    TestCertificate oneTime;
    oneTime.notAfter = {};

    const std::vector<CheckCase> cases = {
        {"outer SET", [&] { Bytes b = plain; b[0] = 0x31; return b; }()},
        {"length in five octets", lengthInFiveOctets},
        {"length with a leading zero octet", lengthWithLeadingZero},
        {"high tag number that fits the low form",
         WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), Bytes{0x9F, 0x1E, 0x00}}))},
        {"high tag number padded with 0x80",
         WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), Bytes{0x9F, 0x80, 0x21, 0x00}}))},
        {"high tag number of five octets",
         WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), Bytes{0x9F, 0x81, 0x81, 0x81, 0x81, 0x01, 0x00}}))},
        {"end-of-contents octets", WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), Bytes{0x00, 0x00}}))},
        {"constructed OCTET STRING",
         WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Tlv(0x24, der::OctetString({1}))}))},
        {"primitive SEQUENCE", WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Tlv(0x10, {})}))},
        {"nested past the limit", deep(31)},
        {"BOOLEAN of two octets", WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Tlv(0x01, {0xFF, 0xFF})}))},
        {"NULL with content", WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Tlv(0x05, {0x00})}))},
        {"padded ENUMERATED", WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Tlv(0x0A, {0x00, 0x01})}))},
        {"UniversalString of a partial character",
         WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Tlv(0x1C, {0x00, 0x00, 0x41})}))},
        {"OID ending inside a sub-identifier", WithSignatureAlgorithm(der::Sequence({der::Tlv(0x06, {0x2A, 0x83})}))},
        {"algorithm without OID", WithSignatureAlgorithm(der::Sequence({der::Null()}))},
        {"algorithm with two parameters", WithSignatureAlgorithm(der::Sequence({der::Oid({1, 2, 3}), der::Null(), der::Null()}))},
        {"subject unique identifier before the issuer's", subjectUniqueIdFirst.Build()},
        {"unique identifier with unused bits set", uniqueIdUnusedBits.Build()},
        {"extensions twice", extensionsTwice.Build()},
        {"extension without value", extensionWithoutValue.Build()},
        {"extension with two values", extensionValueTwice.Build()},
        {"version -1", version0xFF.Build()},
        {"three validity times", threeTimes.Build()},
        {"one validity time", oneTime.Build()},
        {"name attribute without value", [] {
             TestCertificate c;
             c.issuer = der::Sequence({der::Set({der::Sequence({der::Oid({2, 5, 4, 3})})})});
             return c.Build();
         }()},
        {"RDN holding a string", [] {
             TestCertificate c;
             c.issuer = der::Sequence({der::Set({der::Utf8String("a")})});
             return c.Build();
         }()},
        {"overlong UTF-8", WithIssuerValue(der::Tlv(0x0C, {0xC0, 0x80}))},
        {"UTF-8 surrogate", WithIssuerValue(der::Tlv(0x0C, {0xED, 0xA0, 0x80}))},
        {"UTF-8 past U+10FFFF", WithIssuerValue(der::Tlv(0x0C, {0xF4, 0x90, 0x80, 0x80}))},
        {"UTF-8 cut short", WithIssuerValue(der::Tlv(0x0C, {'a', 0xE4, 0xB9}))},
        {"BMP surrogate", WithIssuerValue(der::Tlv(0x1E, {0xD8, 0x00, 0xDC, 0x00}))},
        {"UniversalString past U+10FFFF", WithIssuerValue(der::Tlv(0x1C, {0x00, 0x11, 0x00, 0x00}))},
        {"name value SEQUENCE", WithIssuerValue(der::Sequence({der::Utf8String("a")}))},
        {"name value of context class", WithIssuerValue(der::Tlv(0x80, {'a'}))},
        {"day 0", [] {
             TestCertificate c;
             c.notBefore = der::UtcTime("200300080000Z");
             return c.Build();
         }()},
        {"month 13", [] {
             TestCertificate c;
             c.notBefore = der::UtcTime("201301080000Z");
             return c.Build();
         }()},
        {"31 April", [] {
             TestCertificate c;
             c.notBefore = der::GeneralizedTime("20200431000000Z");
             return c.Build();
         }()},
        {"minute 60", [] {
             TestCertificate c;
             c.notBefore = der::UtcTime("200301086000Z");
             return c.Build();
         }()},
        {"29 February 1900", [] {
             TestCertificate c;
             c.notBefore = der::GeneralizedTime("19000229000000Z");
             return c.Build();
         }()},
        {"time as OCTET STRING", [] {
             TestCertificate c;
             c.notBefore = der::OctetString({'2', '0'});
             return c.Build();
         }()},
        {"signature missing", der::Sequence({TestCertificate{}.BuildTbs(), der::Sequence({der::Oid({1, 3, 101, 112})})})},
        {"TBS with a field too many", [] {
             TestCertificate c;
             c.uniqueIds = der::Null();
             return c.Build();
         }()},
    };
    for (const CheckCase& c : cases) {
        EXPECT_FALSE(Strict(c.bytes)) << c.name;
        EXPECT_FALSE(ParseCertificate(c.bytes.data(), c.bytes.size())) << c.name;
    }
}

TEST(StrictDerCertificate, LeapYearsFollowTheGregorianRule) {
    for (const auto& [time, valid] : std::vector<std::pair<std::string, bool>>{{"20000229000000Z", true},
                                                                               {"20240229000000Z", true},
                                                                               {"19000229000000Z", false},
                                                                               {"20230229000000Z", false},
                                                                               {"24000229000000Z", true},
                                                                               {"21000229000000Z", false}}) {
        TestCertificate c;
        c.notAfter = der::GeneralizedTime(time);
        EXPECT_EQ(Strict(c.Build()), valid) << time;
    }
    TestCertificate utc2000;  // UTCTime 00 is 2000, a leap year; read as 1900 it would not be
    utc2000.notAfter = der::UtcTime("000229000000Z");
    EXPECT_TRUE(Strict(utc2000.Build()));
}

// ---- Certificates made by the openssl command, read back by `openssl x509`.

std::string RunCommand(const std::string& command) {
    std::string output;
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return output;
    std::array<char, 256> chunk{};
    while (fgets(chunk.data(), static_cast<int>(chunk.size()), pipe.get())) output += chunk.data();
    return output;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    Bytes bytes;
    if (!file) return bytes;
    for (int c; (c = std::fgetc(file.get())) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    return bytes;
}

// "notBefore=Mar  1 08:00:00 2020 GMT" as "2020/03/01 08:00:00".
std::string DateText(const std::string& output, const std::string& key) {
    const size_t at = output.find(key + "=");
    if (at == std::string::npos) return "missing " + key;
    char month[4] = {};
    int day = 0, hour = 0, minute = 0, second = 0, year = 0;
    if (std::sscanf(output.c_str() + at + key.size() + 1, "%3s %d %d:%d:%d %d GMT", month, &day, &hour, &minute,
                    &second, &year) != 6)
        return "unreadable " + key;
    const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const int monthNumber = static_cast<int>(months.find(month) / 3 + 1);
    char text[24];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", year, monthNumber, day, hour, minute, second);
    return text;
}

// "serial=-81" (sign and magnitude in hex) as the INTEGER's DER content
// octets, least significant first.
Bytes SerialOctets(const std::string& output) {
    const size_t at = output.find("serial=");
    if (at == std::string::npos) return {};
    std::string hex = output.substr(at + 7, output.find('\n', at) - at - 7);
    const bool negative = !hex.empty() && hex[0] == '-';
    if (negative) hex.erase(0, 1);
    if (hex.size() % 2) hex.insert(0, "0");
    Bytes octets;  // least significant first
    for (size_t i = hex.size(); i >= 2; i -= 2)
        octets.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i - 2, 2), nullptr, 16)));
    if (negative) {  // two's complement: invert and add one
        unsigned carry = 1;
        for (uint8_t& octet : octets) {
            const unsigned sum = static_cast<uint8_t>(~octet) + carry;
            octet = static_cast<uint8_t>(sum);
            carry = sum >> 8;
        }
        if ((octets.back() & 0x80) == 0) octets.push_back(0xFF);
        while (octets.size() > 1 && octets.back() == 0xFF && (octets[octets.size() - 2] & 0x80)) octets.pop_back();
    } else if (octets.back() & 0x80) {
        octets.push_back(0x00);
    }
    return octets;
}

TEST(SerialOctetsOfOpenSslText, MatchDer) {
    EXPECT_EQ(SerialOctets("serial=01\n"), (Bytes{0x01}));
    EXPECT_EQ(SerialOctets("serial=8F\n"), (Bytes{0x8F, 0x00}));
    EXPECT_EQ(SerialOctets("serial=-81\n"), (Bytes{0x7F, 0xFF}));
    EXPECT_EQ(SerialOctets("serial=-80\n"), (Bytes{0x80}));
    EXPECT_EQ(SerialOctets("serial=-0100\n"), (Bytes{0x00, 0xFF}));
}

struct OpenSslCertificate {
    const char* name;
    const char* options;
};

TEST(ParseCertificate, AgreesWithTheOpensslCommand) {
    // In the build folder, wherever the tests are run from.
    const std::filesystem::path folder = VELDORINCTL_CERTIFICATE_OUTPUT_DIR;
    std::filesystem::create_directories(folder);
    for (const OpenSslCertificate& made : {
             OpenSslCertificate{"rsa", "-newkey rsa:2048 -days 36500"},  // random 20-octet serial, GeneralizedTime
             OpenSslCertificate{"ec", "-newkey ec -pkeyopt ec_paramgen_curve:P-256 -days 1 -set_serial -129"},
         }) {
        SCOPED_TRACE(made.name);
        const std::filesystem::path certificate = folder / (std::string(made.name) + ".der");
        const std::filesystem::path key = folder / (std::string(made.name) + ".key");
        std::filesystem::remove(certificate);
        RunCommand("openssl req -x509 -nodes -subj /CN=veldorinctl-test -outform DER " + std::string(made.options) +
                   " -keyout " + key.string() + " -out " + certificate.string() + " 2>&1");
        const Bytes der = ReadFile(certificate);
        ASSERT_FALSE(der.empty()) << "openssl did not make " << certificate;
        const std::string printed =
            RunCommand("openssl x509 -inform DER -noout -dates -serial -in " + certificate.string());

        const auto fields = ParseCertificate(der.data(), der.size());
        ASSERT_TRUE(fields);
        EXPECT_EQ(ValidityText(*fields), DateText(printed, "notBefore") + "," + DateText(printed, "notAfter"));
        EXPECT_EQ(fields->serialNumber, SerialOctets(printed)) << printed;
    }
}

}  // namespace
