// The fields the control reads from an X.509 certificate, parsed by the
// platform: CryptoAPI on Windows, OpenSSL's libcrypto elsewhere. Both must
// give the same fields for the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A validity bound in UTC, as the certificate states it (never local time).
struct CertificateTime {
    int year = 0;   // four digits; UTCTime 50..99 is 1950..1999, 00..49 is 2000..2049
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct CertificateFields {
    CertificateTime notBefore;
    CertificateTime notAfter;
    // Every content octet of the serial number's DER INTEGER (a leading zero
    // octet included), least significant octet first.
    std::vector<uint8_t> serialNumber;
};

// Parses `length` bytes as one DER-encoded X.509 certificate. Only the
// encoding is examined: no signature, trust or validity check is made.
// Nothing when the bytes are not such a certificate.
std::optional<CertificateFields> ParseCertificate(const uint8_t* der, size_t length);
