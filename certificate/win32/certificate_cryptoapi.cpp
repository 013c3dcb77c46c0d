// ParseCertificate with CryptoAPI, on Windows.
#include "certificate/certificate.h"

#include <windows.h>

#include <wincrypt.h>

#include "certificate/strict_der_certificate.h"
#include "win32/unique_resource.h"

namespace {

struct CertificateContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() { return nullptr; }
    static void Close(Type context) { ::CertFreeCertificateContext(context); }
};
using UniqueCertificateContext = UniqueResource<CertificateContextTraits>;

// FILETIME is UTC and FileTimeToSystemTime changes no time zone, so the
// fields are the time the certificate states.
std::optional<CertificateTime> ToCertificateTime(const FILETIME& time) {
    SYSTEMTIME fields{};
    if (!::FileTimeToSystemTime(&time, &fields)) return std::nullopt;
    return CertificateTime{fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

}  // namespace

std::optional<CertificateFields> ParseCertificate(const uint8_t* der, size_t length) {
    // The check also bounds `length` to what a DWORD holds.
    if (!IsStrictDerCertificate(der, length)) return std::nullopt;
    const UniqueCertificateContext context(
        ::CertCreateCertificateContext(X509_ASN_ENCODING, der, static_cast<DWORD>(length)));
    if (!context) return std::nullopt;

    const CERT_INFO& info = *context.get()->pCertInfo;
    const auto notBefore = ToCertificateTime(info.NotBefore);
    const auto notAfter = ToCertificateTime(info.NotAfter);
    if (!notBefore || !notAfter) return std::nullopt;
    // CryptoAPI already keeps the serial's content octets least significant first.
    const CRYPT_INTEGER_BLOB& serial = info.SerialNumber;
    return CertificateFields{*notBefore, *notAfter, std::vector<uint8_t>(serial.pbData, serial.pbData + serial.cbData)};
}
