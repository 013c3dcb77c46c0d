// Base64 text <-> bytes for everything that crosses the script boundary.
//
// Encoding is plain RFC 4648 (standard alphabet, "=" padding, no line breaks).
// Decoding is lenient: padding is optional, and decoding ends quietly at the
// first "=" or at the first character outside the alphabet, keeping what was
// decoded up to there. A lone character after the last full group is dropped.
//
// DecodeStrict is the exception: it takes only text that decodes whole.
//
// The codec keeps no state; one instance may be used from several threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class Base64 {
public:
    // The 64 characters; a character's value is its position here.
    static constexpr std::string_view Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

    virtual ~Base64() = default;

    // Returns the Base64 text of exactly `length` bytes (4 * ceil(length / 3)
    // characters; empty for length 0).
    std::string Encode(const uint8_t* data, uint32_t length) const;

    // Decodes `text` into `buffer`, which holds `capacity` bytes, and sets
    // `count` to the number of bytes decoded. `count` is set to 0 first.
    //
    // Never writes past `capacity`. Text that would decode to more than
    // `capacity` bytes is refused as a whole: the result is false, `count`
    // is 0 and what the buffer holds is of no meaning. Otherwise the result
    // is true (also for text that decodes to nothing).
    [[nodiscard]] bool Decode(std::string_view text, uint8_t* buffer, uint32_t capacity, uint32_t& count) const;

    // Decodes `text` only when all of it is one Base64 encoding: characters
    // of the alphabet, then the padding it needs or none, and nothing after
    // (no line break, no space); the unused bits of the last character are
    // zero, as every encoder writes them. Otherwise, or when the bytes would
    // not fit in `capacity`, the result is false and `count` is 0. For text
    // that must arrive whole, where a quietly shortened decoding would be
    // taken for the real thing.
    [[nodiscard]] bool DecodeStrict(std::string_view text, uint8_t* buffer, uint32_t capacity, uint32_t& count) const;

    // How many bytes `text` decodes to under the rules above.
    static uint32_t DecodedLength(std::string_view text);
};
