#include "codec/base64.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

// Decoding: the value of every byte under Base64::Alphabet, pre-shifted to
// its place in a four-character group, with kBad set for bytes outside the
// alphabet, so that a whole group is checked by one comparison. Built at
// compile time from the alphabet itself so the two can never disagree.
constexpr uint32_t kBad = 0x01000000;

using ValueTable = std::array<uint32_t, 256>;

constexpr ValueTable MakeValueTable(int shift) {
    ValueTable table{};
    for (auto& value : table) value = kBad;
    for (size_t i = 0; i < Base64::Alphabet.size(); ++i)
        table[static_cast<uint8_t>(Base64::Alphabet[i])] = static_cast<uint32_t>(i) << shift;
    return table;
}
constexpr ValueTable kValue0 = MakeValueTable(18);
constexpr ValueTable kValue1 = MakeValueTable(12);
constexpr ValueTable kValue2 = MakeValueTable(6);
constexpr ValueTable kValue3 = MakeValueTable(0);

bool InAlphabet(char c) {
    return kValue3[static_cast<uint8_t>(c)] != kBad;
}

// Encoding: the two characters for every 12-bit value, so a group of three
// bytes becomes its four characters in two look-ups.
using PairTable = std::array<std::array<char, 2>, 4096>;

constexpr PairTable MakePairTable() {
    PairTable table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = {Base64::Alphabet[i >> 6], Base64::Alphabet[i & 0x3F]};
    return table;
}
constexpr PairTable kPairs = MakePairTable();

// Number of leading characters that belong to the alphabet: decoding stops
// at "=" and at every other outsider alike.
size_t AcceptedLength(std::string_view text) {
    size_t n = 0;
    while (n < text.size() && InAlphabet(text[n])) ++n;
    return n;
}

uint32_t BytesFor(size_t acceptedChars) {
    static constexpr uint32_t kTail[4] = {0, 0, 1, 2};
    return static_cast<uint32_t>(acceptedChars / 4 * 3 + kTail[acceptedChars % 4]);
}

uint64_t ToBigEndian(uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(value);
    return value;
}

uint32_t GroupValue(const uint8_t* in) {
    return kValue0[in[0]] | kValue1[in[1]] | kValue2[in[2]] | kValue3[in[3]];
}

}  // namespace

std::string Base64::Encode(const uint8_t* data, uint32_t length) const {
    std::string text;
    if (length == 0) return text;
    text.resize((static_cast<size_t>(length) + 2) / 3 * 4);
    char* out = text.data();
    uint32_t i = 0;
    // Two groups at a time from one 8-byte load, while 8 bytes remain.
    for (; i + 8 <= length; i += 6, out += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        word = ToBigEndian(word);
        const auto first = static_cast<uint32_t>(word >> 40);
        const auto second = static_cast<uint32_t>(word >> 16) & 0xFFFFFF;
        char chars[8];
        std::memcpy(chars, kPairs[first >> 12].data(), 2);
        std::memcpy(chars + 2, kPairs[first & 0xFFF].data(), 2);
        std::memcpy(chars + 4, kPairs[second >> 12].data(), 2);
        std::memcpy(chars + 6, kPairs[second & 0xFFF].data(), 2);
        std::memcpy(out, chars, 8);
    }
    for (; i + 3 <= length; i += 3, out += 4) {
        const uint32_t group = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        char chars[4];
        std::memcpy(chars, kPairs[group >> 12].data(), 2);
        std::memcpy(chars + 2, kPairs[group & 0xFFF].data(), 2);
        std::memcpy(out, chars, 4);  // one store
    }
    const uint32_t rest = length - i;
    if (rest != 0) {
        const uint32_t group = (uint32_t{data[i]} << 16) | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0);
        std::memcpy(out, kPairs[group >> 12].data(), 2);
        out[2] = rest == 2 ? Alphabet[(group >> 6) & 0x3F] : '=';
        out[3] = '=';
    }
    return text;
}

uint32_t Base64::DecodedLength(std::string_view text) {
    return BytesFor(AcceptedLength(text));
}

bool Base64::Decode(std::string_view text, uint8_t* buffer, uint32_t capacity, uint32_t& count) const {
    count = 0;
    const auto* in = reinterpret_cast<const uint8_t*>(text.data());
    const size_t size = text.size();
    uint8_t* out = buffer;
    uint32_t room = capacity;

    // Whole groups, checked a group at a time; the group holding the first
    // outsider (or the end of the text) is finished below.
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        const uint32_t group = GroupValue(in + i);
        if (group & kBad) break;
        if (room < 3) return false;
        out[0] = static_cast<uint8_t>(group >> 16);
        out[1] = static_cast<uint8_t>(group >> 8);
        out[2] = static_cast<uint8_t>(group);
        out += 3;
        room -= 3;
    }

    size_t rest = 0;  // accepted characters of the last, partial group
    while (rest < 3 && i + rest < size && InAlphabet(text[i + rest])) ++rest;
    const uint32_t tail = BytesFor(rest);  // a lone character (rest == 1) is dropped
    if (tail > room) return false;
    if (rest >= 2) {
        uint8_t group[4] = {in[i], in[i + 1], rest == 3 ? in[i + 2] : uint8_t{'A'}, uint8_t{'A'}};
        const uint32_t value = GroupValue(group);
        out[0] = static_cast<uint8_t>(value >> 16);
        if (rest == 3) out[1] = static_cast<uint8_t>(value >> 8);
        out += tail;
    }
    count = static_cast<uint32_t>(out - buffer);
    return true;
}

namespace {

// The padding that completes `accepted` characters to whole groups.
size_t PaddingFor(size_t accepted) {
    return (4 - accepted % 4) % 4;
}

// The bits of a last partial group that no byte takes: 4 for two
// characters, 2 for three.
bool UnusedBitsAreZero(std::string_view text, size_t accepted) {
    static constexpr uint32_t kUnusedMask[4] = {0, 0, 0x0F, 0x03};
    if (accepted == 0) return true;
    const uint32_t last = kValue3[static_cast<uint8_t>(text[accepted - 1])];
    return (last & kUnusedMask[accepted % 4]) == 0;
}

}  // namespace

bool Base64::DecodeStrict(std::string_view text, uint8_t* buffer, uint32_t capacity, uint32_t& count) const {
    count = 0;
    const size_t accepted = AcceptedLength(text);
    const std::string_view rest = text.substr(accepted);
    const size_t padding = PaddingFor(accepted);
    if (accepted % 4 == 1) return false;  // a lone character holds no whole byte
    if (!rest.empty() && rest != std::string_view("==", padding)) return false;
    if (!UnusedBitsAreZero(text, accepted)) return false;
    return Decode(text.substr(0, accepted), buffer, capacity, count);
}
