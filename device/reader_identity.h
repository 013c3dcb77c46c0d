// The identities a reader answers to, in the order DevOpen tries them.
#pragma once

#include <cstdint>

struct ReaderIdentity {
    uint16_t vendorId;
    uint16_t productId;
};
inline constexpr ReaderIdentity kReaderIdentities[] = {{0x155B, 0x4612}, {0x6A8A, 0x0801}};
