// The strong reader under libFuzzer: any text with any password is read
// without crashing, reading out of bounds or running Argon2 on parameters it
// cannot afford; a Good verdict only ever comes with the text that was
// sealed, and any body the fuzzer mutates gives no text unless it authenticates.
// A sealed block keeps being known as one whatever its mark becomes, and a
// legacy block is never taken for one.

#include "cipher/strong.h"

#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

using namespace cipher;

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "strong fuzz: %s\n", what);
        std::abort();
    }
}

// Small parameters so each run that reaches Argon2 stays quick.
constexpr strong::Params kSmall {1, 8u << 10};
constexpr std::string_view kPassword = "fuzzing passphrase";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegralInRange(0, 3);
    if (mode == 0) {
        // Any text and password straight into the reader. A block the
        // fuzzer did not seal must never read as Good with a fresh password.
        const Bytes password = in.ConsumeRandomLengthString(64);
        const Bytes text = in.ConsumeRemainingBytesAsString();
        const Decryption r = strong::decryptText(text, password);
        require(r.verdict == Verdict::Good || r.text.empty(), "text without a Good verdict");
        return 0;
    }
    // Seal a text, let the fuzzer change the body, read it back.
    strong::detail::Salt salt {};
    strong::detail::Nonce nonce {};
    const Bytes plain = in.ConsumeRandomLengthString(256);
    Bytes block = strong::detail::encryptWith(plain, kPassword, kSmall, salt, nonce);
    require(!block.empty(), "sealing failed");
    const Decryption good = strong::decryptText(block, kPassword);
    require(good.verdict == Verdict::Good && good.text == plain, "round trip");
    if (mode == 3) {
        // The mark replaced by up to two characters the fuzzer picks (gone,
        // replaced, or another one put before it): the payload then starts
        // at one of the body's first three characters, where it is looked for.
        const Bytes mark = in.ConsumeRandomLengthString(2);
        const std::size_t at = kBeginMarker.size() + 2;
        const Bytes changed = block.substr(0, at) + mark + block.substr(at + 1);
        const Decryption r = strong::decryptText(changed, kPassword);
        require(r.found, "a sealed block with another mark not known as one");
        require(r.verdict == Verdict::Good ? r.text == plain : r.text.empty(), "damaged mark");
        if (mark.find('4') == Bytes::npos)
            require(r.verdict == Verdict::ChecksumError, "a block without its mark read as good");
        // A legacy block of any text under any password stays legacy.
        const Bytes password = in.ConsumeRandomLengthString(32);
        const Bytes legacyPlain = in.ConsumeRemainingBytesAsString();
        if (!password.empty()) {
            const int level = 1 + static_cast<int>(legacyPlain.size() % 3);
            const Bytes legacy = cipher::encryptText(legacyPlain, password, level);
            require(checkBlock(legacy) || !strong::containsStrongBlock(legacy),
                "a legacy block taken for a strong one");
        }
    } else if (mode == 1) {
        const std::size_t from = kBeginMarker.size() + 3;
        const std::size_t to = block.size() - kEndMarker.size() - 2;
        while (in.remaining_bytes() >= 2) {
            const std::size_t at = in.ConsumeIntegralInRange(from, to - 1);
            const char c = in.ConsumeIntegral<char>();
            block[at] = c;
        }
        const Decryption r = strong::decryptText(block, kPassword);
        // Blanks and line breaks are ignored, so a change into them may be
        // harmless only when it touched nothing but whitespace.
        if (r.verdict == Verdict::Good)
            require(r.text == plain, "a changed block read as a different text");
        else
            require(r.text.empty(), "text without a Good verdict");
    } else {
        // Text after the block, the body wrapped anywhere.
        const std::size_t wrap = in.ConsumeIntegralInRange<std::size_t>(1, 100);
        Bytes wrapped;
        const std::size_t from = kBeginMarker.size();
        const std::size_t to = block.size() - kEndMarker.size();
        for (std::size_t i = from; i < to; ++i) {
            wrapped += block[i];
            if ((i - from) % wrap == 0)
                wrapped += "\n ";
        }
        const Bytes text = Bytes(kBeginMarker) + wrapped + Bytes(kEndMarker);
        const Bytes after = in.ConsumeRemainingBytesAsString();
        const Decryption r = strong::decryptText(text + after, kPassword);
        require(r.found && r.verdict == Verdict::Good && r.text == plain + after, "re-wrapped");
    }
    return 0;
}
