// ParseCertificate with OpenSSL's libcrypto, for every platform but Windows.
#include "certificate/certificate.h"

#include <openssl/asn1.h>
#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <ctime>
#include <iterator>
#include <memory>

#include "certificate/strict_der_certificate.h"

namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using UniqueX509 = std::unique_ptr<X509, X509Free>;

struct OpenSslFree {
    void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};
using UniqueOpenSslBytes = std::unique_ptr<unsigned char, OpenSslFree>;

std::optional<CertificateTime> ToCertificateTime(const ASN1_TIME* time) {
    std::tm fields{};
    // ASN1_TIME_to_tm reads the time as written (UTC), never local time.
    if (time == nullptr || ASN1_TIME_to_tm(time, &fields) != 1) return std::nullopt;
    return CertificateTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                           fields.tm_hour,        fields.tm_min,     fields.tm_sec};
}

// OpenSSL keeps a serial as sign and magnitude; DER's content octets (two's
// complement, with the 00 that keeps a positive value positive) come back by
// encoding it again. The result is least significant octet first, as
// CryptoAPI keeps it.
std::optional<std::vector<uint8_t>> SerialContentReversed(const ASN1_INTEGER* serial) {
    unsigned char* encoded = nullptr;
    const int encodedLength = i2d_ASN1_INTEGER(serial, &encoded);
    const UniqueOpenSslBytes owner(encoded);
    if (encodedLength <= 0) return std::nullopt;
    const unsigned char* content = encoded;
    long contentLength = 0;
    int tag = 0;
    int tagClass = 0;
    if (ASN1_get_object(&content, &contentLength, &tag, &tagClass, encodedLength) != 0 || contentLength <= 0)
        return std::nullopt;
    return std::vector<uint8_t>(std::make_reverse_iterator(content + contentLength),
                                std::make_reverse_iterator(content));
}

}  // namespace

std::optional<CertificateFields> ParseCertificate(const uint8_t* der, size_t length) {
    if (!IsStrictDerCertificate(der, length)) return std::nullopt;
    const unsigned char* next = der;
    const UniqueX509 certificate(d2i_X509(nullptr, &next, static_cast<long>(length)));
    if (!certificate || next != der + length) return std::nullopt;

    const auto notBefore = ToCertificateTime(X509_get0_notBefore(certificate.get()));
    const auto notAfter = ToCertificateTime(X509_get0_notAfter(certificate.get()));
    auto serial = SerialContentReversed(X509_get0_serialNumber(certificate.get()));
    if (!notBefore || !notAfter || !serial) return std::nullopt;
    return CertificateFields{*notBefore, *notAfter, std::move(*serial)};
}
