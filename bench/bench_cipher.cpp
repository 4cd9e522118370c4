// Encipher and decipher at level 3 on printable text with a line break every
// 80 characters, against a memcpy of the same size as the yardstick.

#include "cipher/cipher.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>

namespace {

constexpr std::string_view kPassword = "Sesame, open up!";
constexpr int kLevel = 3;

cipher::Bytes printableText(std::size_t size)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> printable(32, 126);
    cipher::Bytes text(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(printable(random));
    // CR LF closing every 80 characters of line; no "P^" (it is not carried).
    for (std::size_t i = 80; i + 1 < size; i += 82) {
        text[i] = '\r';
        text[i + 1] = '\n';
    }
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (text[i] == 'P' && text[i + 1] == '^')
            text[i + 1] = '_';
    }
    return text;
}

void encipherLevel3(benchmark::State &state)
{
    const cipher::Bytes text = printableText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        cipher::Bytes enciphered = cipher::encipher(text, kPassword, kLevel);
        benchmark::DoNotOptimize(enciphered.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void decipherLevel3(benchmark::State &state)
{
    const cipher::Bytes text = printableText(static_cast<std::size_t>(state.range(0)));
    const auto parts = cipher::splitText(cipher::encryptText(text, kPassword, kLevel));
    const cipher::Body body = cipher::readBody(parts->body);
    for (auto _ : state) {
        cipher::Deciphered deciphered = cipher::decipher(body.normalised, body.level, kPassword);
        benchmark::DoNotOptimize(deciphered.plain.data());
        if (deciphered.verdict != cipher::Verdict::Good)
            state.SkipWithError("the round trip failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void memcpyYardstick(benchmark::State &state)
{
    const cipher::Bytes text = printableText(static_cast<std::size_t>(state.range(0)));
    cipher::Bytes copy(text.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), text.data(), text.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(encipherLevel3)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(decipherLevel3)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(memcpyYardstick)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
