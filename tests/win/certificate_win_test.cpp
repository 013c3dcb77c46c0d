// ParseCertificate with CryptoAPI against the vectors the native (OpenSSL)
// tests use: both platforms must give byte-identical answers.
#include <windows.h>

#include <gtest/gtest.h>

#include "certificate/certificate.h"
#include "certificate/strict_der_certificate.h"
#include "tests/vectors/certificate_vectors.h"

namespace {

TEST(CertificateOnWindows, RunsFarFromUtc) {
    // FILETIME is UTC; a slip into local time only shows away from UTC.
    TIME_ZONE_INFORMATION zone{};
    ::GetTimeZoneInformation(&zone);
    EXPECT_NE(zone.Bias, 0) << "run with TZ far from UTC, for example Asia/Shanghai";
}

TEST(CertificateOnWindows, EveryVectorGivesItsTexts) {
    for (const CertificateVector& vector : CertificateVectors()) {
        SCOPED_TRACE(vector.name);
        const CertificateTexts texts = CertificateTextsOf(vector.text);
        EXPECT_EQ(texts.validity, vector.validity);
        EXPECT_EQ(texts.serial, vector.serial);
    }
}

TEST(CertificateOnWindows, MutationsParseExactlyWhenStrict) {
    // CryptoAPI must take every certificate the check lets through, or the
    // two platforms would answer differently for it.
    for (const std::vector<uint8_t>& mutation : CertificateMutations()) {
        const bool strict = IsStrictDerCertificate(mutation.data(), mutation.size());
        ASSERT_EQ(ParseCertificate(mutation.data(), mutation.size()).has_value(), strict);
    }
}

TEST(CertificateOnWindows, RefusesNullAndEmpty) {
    const std::optional<std::vector<uint8_t>> certificate = DecodeCertificateText(CertificateVectors().front().text);
    ASSERT_TRUE(certificate && !certificate->empty());
    EXPECT_FALSE(ParseCertificate(nullptr, 0));
    EXPECT_FALSE(ParseCertificate(nullptr, certificate->size()));
    EXPECT_FALSE(ParseCertificate(certificate->data(), 0));
}

}  // namespace
