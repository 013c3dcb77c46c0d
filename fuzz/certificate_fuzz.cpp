// ParseCertificate (OpenSSL) on arbitrary bytes, and on the vectors'
// certificates with arbitrary bytes written over part of them so that runs
// reach past the outer SEQUENCE. Never crashes, parses exactly what the
// strict-DER check lets through, and gives fields a certificate can hold.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "certificate/certificate.h"
#include "certificate/strict_der_certificate.h"
#include "tests/vectors/certificate_vectors.h"

namespace {

const std::vector<std::vector<uint8_t>>& Templates() {
    static const std::vector<std::vector<uint8_t>> templates = [] {
        std::vector<std::vector<uint8_t>> certificates;
        for (const CertificateVector& vector : CertificateVectors()) {
            auto bytes = DecodeCertificateText(vector.text);
            if (vector.validity && bytes && bytes->size() < 1024) certificates.push_back(std::move(*bytes));
        }
        return certificates;
    }();
    return templates;
}

// First byte even: the rest as they are. Odd: a template picked by the
// second byte, the rest written over it from the offset in the third byte.
std::vector<uint8_t> Input(const uint8_t* data, size_t size) {
    if (size < 3 || data[0] % 2 == 0) return std::vector<uint8_t>(data + std::min<size_t>(size, 1), data + size);
    std::vector<uint8_t> bytes = Templates()[data[1] % Templates().size()];
    const size_t at = data[2] % bytes.size();
    const size_t count = std::min(size - 3, bytes.size() - at);
    std::copy(data + 3, data + 3 + count, bytes.begin() + static_cast<long>(at));
    return bytes;
}

bool InRange(const CertificateTime& t) {
    return t.year >= 1601 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes = Input(data, size);
    const std::optional<CertificateFields> fields = ParseCertificate(bytes.data(), bytes.size());
    if (fields.has_value() != IsStrictDerCertificate(bytes.data(), bytes.size())) std::abort();
    if (fields && (!InRange(fields->notBefore) || !InRange(fields->notAfter) || fields->serialNumber.empty()))
        std::abort();
    return 0;
}
