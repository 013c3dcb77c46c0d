// Base64::Decode and DecodeStrict on arbitrary text into buffers of every
// size: never write past the buffer, Decode agrees with the length it
// promises, and DecodeStrict takes exactly the text that encoding the bytes
// gives back (padding optional).
#include <algorithm>
#include <cstdlib>
#include <string>
#include <memory>
#include <string_view>

#include "codec/base64.h"

namespace {

void CheckStrict(std::string_view text, uint32_t capacity) {
    auto buffer = std::make_unique<uint8_t[]>(capacity + 1);
    uint32_t count = 1;
    if (!Base64().DecodeStrict(text, buffer.get(), capacity, count)) {
        if (count != 0) std::abort();
        return;
    }
    const std::string encoded = Base64().Encode(buffer.get(), count);
    const std::string_view left = std::string_view(encoded).substr(std::min(text.size(), encoded.size()));
    const bool onlyPadding = left.find_first_not_of('=') == std::string_view::npos;
    if (!encoded.starts_with(text) || !onlyPadding) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t capacity = data[0] * 24u;  // 0 .. 6120, around the callers' 4096
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    // Exactly `capacity` bytes on the heap so ASan sees any overrun.
    auto buffer = std::make_unique<uint8_t[]>(capacity + 1);
    uint32_t count = 0;
    const bool fits = Base64().Decode(text, buffer.get(), capacity, count);
    const uint32_t expected = Base64::DecodedLength(text);
    if (fits != (expected <= capacity) || count != (fits ? expected : 0)) std::abort();
    if (fits) {
        // Re-encoding what was decoded and decoding again gives the same bytes.
        const std::string again = Base64().Encode(buffer.get(), count);
        auto second = std::make_unique<uint8_t[]>(count + 1);
        uint32_t secondCount = 0;
        if (!Base64().Decode(again, second.get(), count, secondCount) || secondCount != count ||
            !std::equal(second.get(), second.get() + count, buffer.get()))
            std::abort();
    }
    CheckStrict(text, capacity);
    return 0;
}
