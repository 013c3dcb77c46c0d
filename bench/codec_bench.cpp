// Base64 of 4 KiB against OpenSSL's block functions, in one run.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

#include "codec/base64.h"

namespace {

constexpr uint32_t kSize = 4096;

std::vector<uint8_t> Payload() {
    std::vector<uint8_t> bytes(kSize);
    for (uint32_t i = 0; i < kSize; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    return bytes;
}

void Encode_Base64(benchmark::State& state) {
    const auto bytes = Payload();
    Base64 codec;
    for (auto _ : state) benchmark::DoNotOptimize(codec.Encode(bytes.data(), kSize));
    state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(Encode_Base64);

void Encode_OpenSsl(benchmark::State& state) {
    const auto bytes = Payload();
    for (auto _ : state) {
        // Like Encode, the result is a fresh string.
        std::string text(4 * ((kSize + 2) / 3) + 1, '\0');
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(), kSize);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(Encode_OpenSsl);

void Decode_Base64(benchmark::State& state) {
    const auto bytes = Payload();
    Base64 codec;
    const std::string text = codec.Encode(bytes.data(), kSize);
    std::vector<uint8_t> out(kSize);
    for (auto _ : state) {
        uint32_t count = 0;
        benchmark::DoNotOptimize(codec.Decode(text, out.data(), kSize, count));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(Decode_Base64);

void Decode_OpenSsl(benchmark::State& state) {
    const auto bytes = Payload();
    const std::string text = Base64().Encode(bytes.data(), kSize);
    std::vector<uint8_t> out(kSize + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                                 static_cast<int>(text.size())));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(Decode_OpenSsl);

}  // namespace
