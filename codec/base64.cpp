#include "codec/base64.h"

#include <array>

namespace {

constexpr uint8_t kNotInAlphabet = 0xFF;

// Value of every byte under Base64::Alphabet, or kNotInAlphabet. Built at
// compile time from the alphabet itself so the two can never disagree.
constexpr std::array<uint8_t, 256> MakeValueTable() {
    std::array<uint8_t, 256> table{};
    for (auto& value : table) value = kNotInAlphabet;
    for (size_t i = 0; i < Base64::Alphabet.size(); ++i)
        table[static_cast<uint8_t>(Base64::Alphabet[i])] = static_cast<uint8_t>(i);
    return table;
}
constexpr std::array<uint8_t, 256> kValue = MakeValueTable();

// Number of leading characters that belong to the alphabet: decoding stops
// at "=" and at every other outsider alike.
size_t AcceptedLength(std::string_view text) {
    size_t n = 0;
    while (n < text.size() && kValue[static_cast<uint8_t>(text[n])] != kNotInAlphabet) ++n;
    return n;
}

uint32_t BytesFor(size_t acceptedChars) {
    static constexpr uint32_t kTail[4] = {0, 0, 1, 2};
    return static_cast<uint32_t>(acceptedChars / 4 * 3 + kTail[acceptedChars % 4]);
}

}  // namespace

std::string Base64::Encode(const uint8_t* data, uint32_t length) const {
    std::string text;
    if (length == 0) return text;
    text.resize((static_cast<size_t>(length) + 2) / 3 * 4);
    char* out = text.data();
    uint32_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t group = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        *out++ = Alphabet[group >> 18];
        *out++ = Alphabet[(group >> 12) & 0x3F];
        *out++ = Alphabet[(group >> 6) & 0x3F];
        *out++ = Alphabet[group & 0x3F];
    }
    const uint32_t rest = length - i;
    if (rest != 0) {
        const uint32_t group = (uint32_t{data[i]} << 16) | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0);
        *out++ = Alphabet[group >> 18];
        *out++ = Alphabet[(group >> 12) & 0x3F];
        *out++ = rest == 2 ? Alphabet[(group >> 6) & 0x3F] : '=';
        *out++ = '=';
    }
    return text;
}

uint32_t Base64::DecodedLength(std::string_view text) {
    return BytesFor(AcceptedLength(text));
}

bool Base64::Decode(std::string_view text, uint8_t* buffer, uint32_t capacity,
                    uint32_t& count) const {
    count = 0;
    const size_t accepted = AcceptedLength(text);
    if (BytesFor(accepted) > capacity) return false;

    const auto* in = reinterpret_cast<const uint8_t*>(text.data());
    uint8_t* out = buffer;
    size_t i = 0;
    for (; i + 4 <= accepted; i += 4) {
        const uint32_t group = (uint32_t{kValue[in[i]]} << 18) | (uint32_t{kValue[in[i + 1]]} << 12) |
                               (uint32_t{kValue[in[i + 2]]} << 6) | kValue[in[i + 3]];
        *out++ = static_cast<uint8_t>(group >> 16);
        *out++ = static_cast<uint8_t>(group >> 8);
        *out++ = static_cast<uint8_t>(group);
    }
    const size_t rest = accepted - i;  // a lone character (rest == 1) is dropped
    if (rest >= 2) {
        const uint32_t group = (uint32_t{kValue[in[i]]} << 18) | (uint32_t{kValue[in[i + 1]]} << 12) |
                               (rest == 3 ? uint32_t{kValue[in[i + 2]]} << 6 : 0);
        *out++ = static_cast<uint8_t>(group >> 16);
        if (rest == 3) *out++ = static_cast<uint8_t>(group >> 8);
    }
    count = static_cast<uint32_t>(out - buffer);
    return true;
}
