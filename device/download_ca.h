// Loads a CA certificate into the reader in blocks of at most 128 bytes, each
// sent as the command 18 C6 00 P2 Lc data 00 and answered by a status word.
#pragma once

#include <cstdint>

#include "device/exchange_deadline.h"
#include "device/hid_device.h"

// Result codes, returned to scripts unchanged.
enum CaResult : int32_t {
    kCaLoaded = 0,           // every block sent, the last one answered 90 00
    kCaRefused = 1,          // the last block was answered with another status word
    kCaBadVariant = 160,     // the variant is neither 1 nor 2; nothing was sent
    kCaSendFailed = 177,     // a block could not be sent; also: nothing to send
                             // (no reader, no bytes, or more than kMaxCaLength)
    kCaReceiveFailed = 178,  // an answer could not be received
    kCaBadAnswer = 179,      // an answer was not two bytes, or an earlier block was refused
};

constexpr uint32_t kCaBlockSize = 128;

// Block numbers have six bits and 63 marks the last block, so at most 63
// blocks may come before it.
constexpr uint32_t kMaxCaLength = 64 * kCaBlockSize;

// `nFlag` is the download variant, 1 or 2. Certificates of 0 bytes or of
// more than kMaxCaLength bytes are refused with kCaSendFailed before
// anything is sent. Each block and its answer must be done within
// `timeout` (zero: no limit), the first one by `firstBlockBy` instead when
// that is given; a block not sent in time gives kCaSendFailed, an answer not
// received in time kCaReceiveFailed.
//
// `inStep`, when given, tells afterwards whether every block that reached
// the reader whole had its answer read to the end: false when an answer may
// still be on its way.
int32_t DownloadCA(HidDevice& device, int32_t nFlag, const uint8_t* data, uint32_t length,
                   ExchangeTimeout timeout = ExchangeTimeout::zero(), ReportDeadline firstBlockBy = std::nullopt,
                   bool* inStep = nullptr);
