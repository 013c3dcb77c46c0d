// Certificates as a page hands them to the control, with the text the
// control must return for each. Shared by the native tests (OpenSSL), the
// Windows tests (CryptoAPI) and the tests of the control's methods, so that
// every platform is held to the same answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "certificate/certificate.h"

struct CertificateVector {
    std::string name;
    std::string text;                     // certificate text: Base64 of the DER, or not quite
    std::optional<std::string> validity;  // what GetX509ValidDate returns; nullopt: a null string
    std::optional<std::string> serial;    // what GetX509Sn returns; nullopt: a null string
};

const std::vector<CertificateVector>& CertificateVectors();

// Every certificate of the vectors above that parses, each with one octet
// changed in every position in a few ways: on every platform, exactly those
// that pass the strict-DER check must parse.
std::vector<std::vector<uint8_t>> CertificateMutations();

// The control decodes certificate text into a buffer of this many bytes.
constexpr uint32_t kCertificateBufferSize = 4096;

// The bytes the control decodes from `text`; nullopt when they would not fit
// its buffer.
std::optional<std::vector<uint8_t>> DecodeCertificateText(std::string_view text);

// The control's two texts for parsed fields.
std::string ValidityText(const CertificateFields& fields);
std::string SerialText(const CertificateFields& fields);

// Decodes `text` and parses it with this platform's ParseCertificate, giving
// both texts, or nullopt for each when there is no certificate.
struct CertificateTexts {
    std::optional<std::string> validity;
    std::optional<std::string> serial;
};
CertificateTexts CertificateTextsOf(std::string_view text);
