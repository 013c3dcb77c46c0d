#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <array>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codec/base64.h"

namespace {

std::string Encode(const std::vector<uint8_t>& bytes) {
    return Base64().Encode(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

std::vector<uint8_t> Decode(std::string_view text, uint32_t capacity = 4096) {
    std::vector<uint8_t> buffer(capacity);
    uint32_t count = 12345;
    EXPECT_TRUE(Base64().Decode(text, buffer.data(), capacity, count));
    buffer.resize(count);
    return buffer;
}

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Base64Encode, PadsShortGroupsAndNeverBreaksLines) {
    EXPECT_EQ(Encode({}), "");
    EXPECT_EQ(Encode(Bytes("f")), "Zg==");
    EXPECT_EQ(Encode(Bytes("fo")), "Zm8=");
    EXPECT_EQ(Encode(Bytes("foo")), "Zm9v");
    EXPECT_EQ(Encode(Bytes("foobar")), "Zm9vYmFy");
    EXPECT_EQ(Encode({0xFB, 0xFF, 0xBF}), "+/+/");
    const std::string longText = Encode(std::vector<uint8_t>(3000, 0xA5));
    EXPECT_EQ(longText.size(), 4000u);
    EXPECT_EQ(longText.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64Encode, MatchesOpenSslForEveryLengthUpTo300) {
    std::mt19937 random(7);
    for (uint32_t n = 0; n <= 300; ++n) {
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        std::vector<unsigned char> expected(4 * ((n + 2) / 3) + 1);
        const int written = EVP_EncodeBlock(expected.data(), bytes.data(), static_cast<int>(n));
        EXPECT_EQ(Encode(bytes), std::string(expected.begin(), expected.begin() + written)) << n;
    }
}

TEST(Base64Decode, RoundTripsEveryLength) {
    std::mt19937 random(11);
    for (uint32_t n = 0; n <= 4096; n += (n < 300 ? 1 : 97)) {
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        EXPECT_EQ(Decode(Encode(bytes)), bytes) << n;
    }
}

TEST(Base64Decode, IsLenientAboutPaddingAndStopsQuietly) {
    EXPECT_EQ(Decode(""), Bytes(""));
    EXPECT_EQ(Decode("Zg"), Bytes("f"));  // no padding needed
    EXPECT_EQ(Decode("Zm8"), Bytes("fo"));
    EXPECT_EQ(Decode("Zm9vZ"), Bytes("foo"));   // a lone character is dropped
    EXPECT_EQ(Decode("Zg==Zm9v"), Bytes("f"));  // nothing after the first "=" counts
    EXPECT_EQ(Decode("Zm9v=Zm9v"), Bytes("foo"));
    EXPECT_EQ(Decode("=Zm9v"), Bytes(""));
    EXPECT_EQ(Decode("Zm9v Zm9v"), Bytes("foo"));  // white space ends it too
    EXPECT_EQ(Decode("Zm9v\tZm9v"), Bytes("foo"));
    EXPECT_EQ(Decode("Zm9v\r\nZm9v"), Bytes("foo"));
    EXPECT_EQ(Decode("Zm9v-_"), Bytes("foo"));                    // the URL-safe alphabet is not ours
    EXPECT_EQ(Decode("Zm9v\xC3\xA9Zm9v"), Bytes("foo"));          // top bit set
    EXPECT_EQ(Decode(std::string_view("Zm\0v", 4)), Bytes("f"));  // an embedded NUL ends it
}

TEST(Base64Decode, SetsCountToZeroFirst) {
    std::array<uint8_t, 4> buffer{};
    uint32_t count = 99;
    EXPECT_TRUE(Base64().Decode("", buffer.data(), 4, count));
    EXPECT_EQ(count, 0u);
}

TEST(Base64Decode, NeverWritesPastCapacityAndRefusesLongerText) {
    // 5464 characters (4096 bytes with "==") fill a 4096-byte buffer exactly.
    const std::vector<uint8_t> full(4096, 0x5A);
    EXPECT_EQ(Decode(Encode(full), 4096), full);

    // 5463 accepted characters give 4097 bytes: refused whole, nothing kept.
    std::string tooLong(5463, 'A');
    std::vector<uint8_t> buffer(4096 + 16, 0xCC);
    uint32_t count = 7;
    EXPECT_FALSE(Base64().Decode(tooLong, buffer.data(), 4096, count));
    EXPECT_EQ(count, 0u);
    for (size_t i = 4096; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xCC) << i;

    // The bound counts what is accepted, not the text's length.
    EXPECT_EQ(Decode(Encode(full) + "!" + std::string(100000, 'A'), 4096), full);
    EXPECT_EQ(Base64::DecodedLength("Zm9vYg"), 4u);
}

TEST(Base64Decode, AgreesWithOpenSslOnValidText) {
    std::mt19937 random(3);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> bytes(3 * (1 + random() % 200));  // no padding: OpenSSL keeps pad bytes
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        const std::string text = Encode(bytes);
        std::vector<unsigned char> expected(text.size());
        const int n = EVP_DecodeBlock(expected.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
        expected.resize(n);
        EXPECT_EQ(Decode(text), expected);
    }
}

}  // namespace

namespace {

std::optional<std::vector<uint8_t>> DecodeStrict(std::string_view text, uint32_t capacity = 4096) {
    std::vector<uint8_t> buffer(capacity);
    uint32_t count = 12345;
    if (!Base64().DecodeStrict(text, buffer.data(), capacity, count)) {
        EXPECT_EQ(count, 0u) << text;
        return std::nullopt;
    }
    buffer.resize(count);
    return buffer;
}

TEST(Base64DecodeStrict, TakesWholeEncodingsWithOrWithoutPadding) {
    std::mt19937 random(5);
    for (uint32_t n = 0; n <= 300; ++n) {
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        std::string text = Encode(bytes);
        EXPECT_EQ(DecodeStrict(text), bytes) << n;
        while (!text.empty() && text.back() == '=') text.pop_back();
        EXPECT_EQ(DecodeStrict(text), bytes) << n << " unpadded";
    }
}

TEST(Base64DecodeStrict, RefusesWhatTheLenientDecoderCutsShort) {
    const std::vector<uint8_t> certificate(215, 0x30);
    std::string lines = Encode(certificate);
    for (size_t at = 64; at < lines.size(); at += 65) lines.insert(at, "\n");  // as openssl writes it
    EXPECT_EQ(Decode(lines).size(), 48u) << "the lenient decoder stops at the first line break";
    EXPECT_FALSE(DecodeStrict(lines));
    EXPECT_FALSE(DecodeStrict(Encode(certificate) + "\n")) << "a final line break";
    for (std::string_view text : {"Zm9v Zm9v", "Zg==Zm9v", "Zm9v=", "Zg=", "Zg===", "Zm8==", "Zm9vZ",
                                  "Zm9vZ===", "=Zm9v", "Zm9v-_", "Zm9v\xC3\xA9", " Zm9v", "Zh==", "Zm9="}) {
        EXPECT_FALSE(DecodeStrict(text)) << text;
    }
    EXPECT_FALSE(DecodeStrict(std::string_view("Zm9v\0", 5))) << "an embedded NUL";
    EXPECT_EQ(DecodeStrict(""), Bytes(""));
    EXPECT_EQ(DecodeStrict("Zg=="), Bytes("f"));
    EXPECT_EQ(DecodeStrict("Zm8="), Bytes("fo"));
}

TEST(Base64DecodeStrict, RefusesTextLongerThanTheBuffer) {
    const std::vector<uint8_t> full(4096, 0x5A);
    EXPECT_EQ(DecodeStrict(Encode(full), 4096), full);
    EXPECT_FALSE(DecodeStrict(Encode(std::vector<uint8_t>(4097, 0x5A)), 4096));
}

}  // namespace
