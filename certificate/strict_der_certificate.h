// The one gate in front of both platform certificate parsers.
//
// OpenSSL and CryptoAPI read the loose corners of ASN.1 differently: BER
// lengths, trailing bytes, padded integers, time strings with offsets or
// fractions, string types in names, malformed object identifiers. Where one
// would give fields and the other nothing, or the two would give different
// fields, the control must still answer the same on every platform, so both
// parsers only ever see certificates that pass this check, a strict profile
// of DER X.509 in which they were tested to agree.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether the `length` bytes at `der` are exactly one X.509 certificate in
// strict DER:
//  - one SEQUENCE whose definite, shortest-form length spans every byte;
//  - throughout: definite shortest-form lengths, nesting at most 32 deep,
//    universal types primitive except SEQUENCE and SET, shortest INTEGERs,
//    BOOLEANs of one octet, empty NULLs, well-formed BIT STRINGs (unused
//    bits 0..7 and zero) and object identifiers, BMP and Universal strings
//    of whole characters;
//  - the X.509 layout, with version v1..v3, validity times of the form
//    YYMMDDHHMMSSZ (UTCTime) or YYYYMMDDHHMMSSZ (GeneralizedTime, year 1601
//    or later) that name a real second, and name values that are directory
//    strings (UTF8, Printable, Teletex, IA5, Numeric, BMP, Universal, each
//    with valid characters) or BIT STRINGs.
bool IsStrictDerCertificate(const uint8_t* der, size_t length);
