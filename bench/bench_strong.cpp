// The strong level: the Argon2id key derivation at the default parameters
// alone, then sealing and opening 1 MB and 8 MB texts (derivation included,
// as the user waits for both).

#include "cipher/strong.h"

#include <benchmark/benchmark.h>
#include <random>

namespace {

constexpr std::string_view kPassword = "Sesame, open up at last!";

cipher::Bytes sampleText(std::size_t size)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> printable(32, 126);
    cipher::Bytes text(size, ' ');
    for (char &c : text)
        c = static_cast<char>(printable(random));
    return text;
}

void derivation(benchmark::State &state)
{
    // An empty text: what is left is the derivation and a few hashes.
    for (auto _ : state) {
        cipher::Bytes block = cipher::strong::encryptText({}, kPassword);
        benchmark::DoNotOptimize(block.data());
    }
}
BENCHMARK(derivation)->Unit(benchmark::kMillisecond)->Iterations(5);

void seal(benchmark::State &state)
{
    const cipher::Bytes text = sampleText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        cipher::Bytes block = cipher::strong::encryptText(text, kPassword);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(seal)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Iterations(3);

void open(benchmark::State &state)
{
    const cipher::Bytes block = cipher::strong::encryptText(
        sampleText(static_cast<std::size_t>(state.range(0))), kPassword);
    for (auto _ : state) {
        cipher::Decryption result = cipher::strong::decryptText(block, kPassword);
        if (result.verdict != cipher::Verdict::Good)
            state.SkipWithError("did not open");
        benchmark::DoNotOptimize(result.text.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(open)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
