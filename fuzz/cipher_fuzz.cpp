// The cipher core under libFuzzer: any text with any password is read without
// crashing or reading out of bounds, the folded passes agree with the step-by-
// step ones, every block the core writes comes back, and whatever the domain
// check lets through comes back exactly.

#include "cipher/cipher.h"
#include "cipher/internal.h"
#include "tests/support/referencecipher.h"

#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>

using namespace cipher;

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "cipher fuzz: %s\n", what);
        std::abort();
    }
}

// Any bytes made into a text of the domain: printable, CR LF pairs, no "P^".
Bytes intoDomain(BytesView raw)
{
    Bytes text;
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u % 41 == 0)
            text += "\r\n";
        else
            text += static_cast<char>(32 + u % 96);
        if (text.size() >= 2 && text[text.size() - 2] == 'P' && text.back() == '^')
            text.back() = '_';
    }
    return text;
}

Bytes intoPrintable(BytesView raw)
{
    Bytes out(raw);
    for (char &c : out)
        c = static_cast<char>(32 + static_cast<unsigned char>(c) % 95);
    return out;
}

// Line breaks a mail program might add inside the body.
Bytes wrapBody(const Bytes &block, std::size_t width)
{
    const std::size_t from = kBeginMarker.size() + kLineBreak.size();
    const std::size_t to = block.size() - kEndMarker.size() - kLineBreak.size();
    Bytes out = block.substr(0, from);
    for (std::size_t i = from; i < to; i += width)
        out += block.substr(i, std::min(width, to - i)) + "\n";
    return out + block.substr(to);
}

void checkSplit(BytesView text)
{
    const std::optional<SplitText> parts = splitText(text);
    if (!parts)
        return;
    require(detail::withoutLineBreaks(text).find(kBeginMarker) != Bytes::npos,
        "split without a begin marker");
    const Bytes begin(kBeginMarker);
    const Bytes end(kEndMarker);
    const bool atEnd = parts->before == text && parts->body.empty() && parts->after.empty();
    const bool closed = text == parts->before + begin + parts->body + end + parts->after;
    const bool open = parts->after.empty() && text == parts->before + begin + parts->body;
    require(atEnd || closed || open, "split parts do not rebuild the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const int level = input.ConsumeIntegralInRange(1, 3);
    const int readLevel = input.ConsumeIntegralInRange(0, 3);
    const std::size_t position = input.ConsumeIntegralInRange<std::size_t>(0, 5000);
    const Bytes password = input.ConsumeRandomLengthString(300);
    const Bytes text = input.ConsumeRemainingBytesAsString();

    // Reading anything.
    checkSplit(text);
    const Decryption anything = decryptText(text, password);
    if (!anything.found)
        require(anything.text.empty(), "text without a block");
    (void)decipher(text, readLevel, password);
    (void)readBody(text);

    // Folded passes against single steps, on any bytes.
    for (const Bytes &key : {password, intoPrintable(password)}) {
        Bytes folded = text;
        Bytes stepped = text;
        auto *f = reinterpret_cast<unsigned char *>(folded.data());
        auto *s = reinterpret_cast<unsigned char *>(stepped.data());
        detail::addPasses(f, folded.size(), position, key, level);
        detail::addPassesStepwise(s, stepped.size(), position, key, level);
        require(folded == stepped, "folded add passes differ");
        folded = stepped = text;
        detail::subtractPasses(f, folded.size(), position, key, readLevel);
        detail::subtractPassesStepwise(s, stepped.size(), position, key, readLevel);
        require(folded == stepped, "folded subtract passes differ");
    }

    if (password.empty())
        return 0;

    // Any text: the block is exact and is found again.
    const Bytes block = encryptText(text, password, level);
    require(block.size() == text.size() + kBlockOverhead, "block length");
    require(block == reference::block(text, password, level), "block differs from the steps");
    const Decryption back = decryptText(block, password);
    require(back.found, "own block not found");
    // What the check accepts comes back exactly once quoted blocks are folded,
    // as the commands fold them before encrypting.
    if (!checkPlainText(text) && !checkPassword(password)) {
        Bytes folded = text;
        foldBlockBodies(folded);
        const Bytes foldedBlock = encryptText(folded, password, level);
        if (!checkBlock(foldedBlock)) {
            const Decryption carried = decryptText(foldedBlock, password);
            require(carried.verdict == Verdict::Good && carried.text == folded,
                "accepted text not carried");
        }
    }

    // A text of the domain with a printable password comes back exactly,
    // through line breaks in the body and text around the block.
    const Bytes plain = intoDomain(text.substr(0, 2000));
    const Bytes key = intoPrintable(password);
    require(!checkPassword(key), "printable password refused");
    require(!checkPlainText(plain), "domain text refused");
    {
        const Bytes before = "> [End_Encryption] quoted\r\n";
        const Bytes after = "\r\nafter [Encrypted_By_Velmorandquist]";
        const Bytes plainBlock = encryptText(plain, key, level);
        if (checkBlock(plainBlock))
            return 0;
        const Bytes wrapped = wrapBody(plainBlock, 1 + text.size() % 90);
        const Decryption d = decryptText(before + wrapped + after, key);
        require(d.found && d.verdict == Verdict::Good, "domain text not good");
        require(d.text == before + plain + after, "domain text changed");
    }
    return 0;
}
