// The cipher's arithmetic: the two steps, the key passes, the checksum and the
// two directions of the transform.
//
// Speed: a level costs up to three passes over the whole text, and a step is
// a loop of conditional corrections, which does not vectorise. Inside the
// domain the passes collapse into one: for a byte in 0..127 and key bytes in
// 32..126 the add step gives 31 + (a + k - 31) mod 96, and for any byte the
// subtract step gives 32 + (a - k - 32) mod 96, so `passes` passes are a single
// step with the key byte multiplied by `passes`. Everything else (bytes
// 128..255 on the add side, passwords with other bytes) takes the exact
// step-by-step road. This file is built with -O3 so the folded loops vectorise.

#include "cipher/internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace cipher {

namespace {

int signedValue(unsigned char b)
{
    return static_cast<signed char>(b);
}

// Key runs a few KB long, a whole number of passwords, so that the inner loops
// read key bytes and text bytes side by side without a modulo.
constexpr std::size_t kRunTarget = 4096;
constexpr std::size_t kChunk = 64;

struct KeyRun
{
    std::vector<unsigned char> folded; // per position, ready for the folded step
    std::vector<unsigned char> raw; // the password byte itself, for exact steps
    std::size_t length = 0; // a whole number of passwords

    KeyRun() = default;
    KeyRun(const KeyRun &) = delete;
    KeyRun &operator=(const KeyRun &) = delete;
    KeyRun(KeyRun &&) = default;
    // The copies of the password go with the command that made them.
    ~KeyRun()
    {
        wipe(folded.data(), folded.size());
        wipe(raw.data(), raw.size());
    }
};

template<typename Fold> KeyRun makeKeyRun(BytesView password, std::size_t n, Fold fold)
{
    const std::size_t len = password.size();
    const std::size_t wanted = std::min(n, kRunTarget);
    const std::size_t copies = std::max<std::size_t>(1, (wanted + len - 1) / len);
    KeyRun run;
    run.length = copies * len;
    // One slot more than a run: the byte after a run uses the run's first key.
    run.folded.resize(run.length + 1);
    run.raw.resize(run.length + 1);
    for (std::size_t i = 0; i < len; ++i) {
        run.raw[i] = static_cast<unsigned char>(password[i]);
        run.folded[i] = fold(run.raw[i]);
    }
    for (std::size_t i = len; i <= run.length; ++i) {
        run.raw[i] = run.raw[i - len];
        run.folded[i] = run.folded[i - len];
    }
    return run;
}

int mod96(int v)
{
    return ((v % 96) + 96) % 96;
}

// One step towards t mod 96 in unsigned 8-bit lanes: take 96 away where that
// does not wrap (the smaller of the two is the right one). Once brings any
// t < 192 below 96, twice any byte.
inline unsigned char reduce96(unsigned char t)
{
    const auto u = static_cast<unsigned char>(t - 96);
    return t < u ? t : u;
}

// Add side, byte in 0..127: f = (passes * k - 31) mod 96, so t = a + f <= 222.
inline unsigned char foldedAdd(unsigned char a, unsigned char f)
{
    return static_cast<unsigned char>(reduce96(reduce96(static_cast<unsigned char>(a + f))) + 31);
}

// Subtract side, any byte: with v = a ^ 0x80 (the signed value plus 128),
// a - K - 32 = v - K - 160, which is v + (32 - K) modulo 96; f = (32 - K) mod 96.
inline unsigned char foldedSubtract(unsigned char a, unsigned char f)
{
    const unsigned char v = reduce96(reduce96(static_cast<unsigned char>(a ^ 0x80)));
    return static_cast<unsigned char>(reduce96(static_cast<unsigned char>(v + f)) + 32);
}

VLQ_INLINE bool allBelow128(const unsigned char *d, std::size_t n)
{
    unsigned char acc = 0;
    for (std::size_t i = 0; i < n; ++i)
        acc |= d[i];
    return (acc & 0x80) == 0;
}

VLQ_INLINE void addFolded(unsigned char *d, const unsigned char *f, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        d[i] = foldedAdd(d[i], f[i]);
}

VLQ_INLINE void addMixed(
    unsigned char *d, const unsigned char *f, const unsigned char *raw, std::size_t n, int passes)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (d[i] < 128) {
            d[i] = foldedAdd(d[i], f[i]);
        } else {
            for (int p = 0; p < passes; ++p)
                d[i] = addStep(d[i], raw[i]);
        }
    }
}

VLQ_INLINE void addRun(
    unsigned char *d, const unsigned char *f, const unsigned char *raw, std::size_t n, int passes)
{
    if (allBelow128(d, n)) {
        addFolded(d, f, n);
        return;
    }
    std::size_t c = 0;
    for (; c + kChunk <= n; c += kChunk) {
        if (allBelow128(d + c, kChunk))
            addFolded(d + c, f + c, kChunk);
        else
            addMixed(d + c, f + c, raw + c, kChunk, passes);
    }
    addMixed(d + c, f + c, raw + c, n - c, passes);
}

void subtractRun(unsigned char *d, const unsigned char *f, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        d[i] = foldedSubtract(d[i], f[i]);
}

// Sum of the signed byte values, modulo 2^32. b ^ 0x80 is the signed value
// plus 128, so the bytes are added unsigned, in 16-bit partial sums short
// enough not to overflow (which vectorise well), and 128 n is taken away.
VLQ_INLINE std::uint32_t signedSum(const unsigned char *d, std::size_t n)
{
    std::uint32_t total = 0;
    for (std::size_t c = 0; c < n; c += 256) {
        const std::size_t m = std::min<std::size_t>(256, n - c);
        std::uint16_t part = 0;
        for (std::size_t k = 0; k < m; ++k)
            part = static_cast<std::uint16_t>(part + static_cast<unsigned char>(d[c + k] ^ 0x80));
        total += part;
    }
    return total - 128u * static_cast<std::uint32_t>(n);
}

// All-ones where the condition holds; byte-wide masks keep the loops in
// byte lanes.
inline unsigned char maskIf(bool condition)
{
    return static_cast<unsigned char>(-static_cast<int>(condition));
}

// Replaces c by `first` where mFirst is set and by `second` where mSecond is.
inline unsigned char blend(unsigned char c, unsigned char mFirst, unsigned char first,
    unsigned char mSecond, unsigned char second)
{
    return static_cast<unsigned char>(
        (c & ~(mFirst | mSecond)) | (first & mFirst) | (second & mSecond));
}

inline unsigned char escapeOne(unsigned char p, unsigned char c, unsigned char x)
{
    return blend(c, maskIf((c == '\r') & (x == '\n')), 'P', maskIf((c == '\n') & (p == '\r')), '^');
}

// CR LF -> "P^" from src to dst (distinct buffers), where prev and next are the
// bytes around src[0, n). Branch-free so it vectorises.
VLQ_INLINE void escapeRun(unsigned char *dst, const unsigned char *src, std::size_t n,
    unsigned char prev, unsigned char next)
{
    if (n == 0)
        return;
    if (n == 1) {
        dst[0] = escapeOne(prev, src[0], next);
        return;
    }
    dst[0] = escapeOne(prev, src[0], src[1]);
    for (std::size_t k = 1; k + 1 < n; ++k)
        dst[k] = escapeOne(src[k - 1], src[k], src[k + 1]);
    dst[n - 1] = escapeOne(src[n - 2], src[n - 1], next);
}

// "P^" -> CR LF from folded[0, n + 2) (one byte of context on either side) to
// dst.
VLQ_INLINE void unescapeRun(unsigned char *dst, const unsigned char *folded, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        const unsigned char p = folded[k];
        const unsigned char c = folded[k + 1];
        const unsigned char x = folded[k + 2];
        dst[k] =
            blend(c, maskIf((c == 'P') & (x == '^')), '\r', maskIf((c == '^') & (p == 'P')), '\n');
    }
}

// One key run of the encrypt side: checksum of src, escapes into dst, folded
// passes on dst. prev and next are the bytes around src[0, m).
VLQ_RUN_KERNEL std::uint32_t encipherRun(unsigned char *dst, const unsigned char *src,
    std::size_t m, unsigned char prev, unsigned char next, const unsigned char *folded,
    const unsigned char *raw, int passes)
{
    const std::uint32_t sum = signedSum(src, m);
    escapeRun(dst, src, m, prev, next);
    addRun(dst, folded, raw, m, passes);
    return sum;
}

// One key run of the decrypt side: folded passes from src[0, m + 1) (the byte
// after the run included, when there is one) into framed[1, m + 2), with
// framed[0] = prev, then the escapes undone into dst; returns the sum of dst.
VLQ_RUN_KERNEL std::uint32_t decipherRun(unsigned char *dst, unsigned char *framed,
    const unsigned char *src, std::size_t m, bool hasNext, unsigned char prev,
    const unsigned char *folded)
{
    framed[0] = prev;
    for (std::size_t k = 0; k < m; ++k)
        framed[k + 1] = foldedSubtract(src[k], folded[k]);
    framed[m + 1] = hasNext ? foldedSubtract(src[m], folded[m]) : 0;
    unescapeRun(dst, framed, m);
    return signedSum(dst, m);
}

// Walks data[0, n) in pieces that line up with the key run.
template<typename Body>
void forEachRun(std::size_t n, std::size_t position, std::size_t runLength, Body body)
{
    std::size_t j = position % runLength;
    for (std::size_t i = 0; i < n;) {
        const std::size_t m = std::min(runLength - j, n - i);
        body(i, j, m);
        i += m;
        j = 0;
    }
}

} // namespace

// --- Primitives --------------------------------------------------------------

void wipe(void *data, std::size_t size)
{
    volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
    while (size--)
        *p++ = 0;
}

unsigned char addStep(unsigned char a, unsigned char k)
{
    int s = signedValue(a) + signedValue(k);
    while (s > 126)
        s -= 96;
    return static_cast<unsigned char>(s);
}

unsigned char subtractStep(unsigned char a, unsigned char k)
{
    int s = signedValue(a) - signedValue(k);
    while (s < 32)
        s += 96;
    return static_cast<unsigned char>(s);
}

void keyPassAdd(Bytes &target, BytesView key)
{
    detail::addPassesStepwise(
        reinterpret_cast<unsigned char *>(target.data()), target.size(), 0, key, 1);
}

void keyPassSubtract(Bytes &target, BytesView key)
{
    detail::subtractPassesStepwise(
        reinterpret_cast<unsigned char *>(target.data()), target.size(), 0, key, 1);
}

std::int32_t checksum(BytesView plain)
{
    // Unsigned so the 32-bit wrap of very long texts is defined.
    return static_cast<std::int32_t>(
        signedSum(reinterpret_cast<const unsigned char *>(plain.data()), plain.size()));
}

Bytes checksumField(std::int32_t sum)
{
    Bytes digits = std::to_string(sum);
    if (digits.size() < kFieldLength)
        digits.insert(0, kFieldLength - digits.size(), '0');
    return digits;
}

// --- Helpers -----------------------------------------------------------------

namespace detail {

bool isPrintablePassword(BytesView password)
{
    return std::all_of(password.begin(), password.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 32 && u <= 126;
    });
}

namespace {

// The level's passes one step at a time: exact for every byte and key.
template<unsigned char (*Step)(unsigned char, unsigned char)>
void passesStepwise(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes)
{
    if (password.empty())
        return;
    const std::size_t len = password.size();
    for (int p = 0; p < passes; ++p) {
        std::size_t j = position % len;
        for (std::size_t i = 0; i < n; ++i) {
            data[i] = Step(data[i], static_cast<unsigned char>(password[j]));
            if (++j == len)
                j = 0;
        }
    }
}

} // namespace

void addPassesStepwise(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes)
{
    passesStepwise<addStep>(data, n, position, password, passes);
}

void subtractPassesStepwise(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes)
{
    passesStepwise<subtractStep>(data, n, position, password, passes);
}

void addPasses(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes)
{
    if (password.empty() || passes <= 0 || n == 0)
        return;
    if (!isPrintablePassword(password)) {
        addPassesStepwise(data, n, position, password, passes);
        return;
    }
    const KeyRun run = makeKeyRun(password, n,
        [passes](unsigned char k) { return static_cast<unsigned char>(mod96(passes * k - 31)); });
    forEachRun(n, position, run.length, [&](std::size_t i, std::size_t j, std::size_t m) {
        addRun(data + i, run.folded.data() + j, run.raw.data() + j, m, passes);
    });
}

void subtractPasses(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes)
{
    if (password.empty() || passes <= 0 || n == 0)
        return;
    if (!isPrintablePassword(password)) {
        subtractPassesStepwise(data, n, position, password, passes);
        return;
    }
    const KeyRun run = makeKeyRun(password, n,
        [passes](unsigned char k) { return static_cast<unsigned char>(mod96(32 - passes * k)); });
    forEachRun(n, position, run.length, [&](std::size_t i, std::size_t j, std::size_t m) {
        subtractRun(data + i, run.folded.data() + j, m);
    });
}

void lineBreaksToEscapes(unsigned char *data, std::size_t n)
{
    if (n == 0)
        return;
    unsigned char *const end = data + n;
    unsigned char *p = data;
    while ((p = static_cast<unsigned char *>(std::memchr(p, '\r', end - p)))) {
        if (p + 1 < end && p[1] == '\n') {
            p[0] = 'P';
            p[1] = '^';
            p += 2;
        } else {
            ++p;
        }
    }
}

void escapesToLineBreaks(unsigned char *data, std::size_t n)
{
    if (n == 0)
        return;
    unsigned char *const end = data + n;
    unsigned char *p = data;
    while ((p = static_cast<unsigned char *>(std::memchr(p, 'P', end - p)))) {
        if (p + 1 < end && p[1] == '^') {
            p[0] = '\r';
            p[1] = '\n';
            p += 2;
        } else {
            ++p;
        }
    }
}

std::int32_t encipherTextInPlace(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes)
{
    if (password.empty() || passes <= 0 || n == 0 || !isPrintablePassword(password)) {
        const std::int32_t sum = checksum(BytesView(reinterpret_cast<const char *>(data), n));
        lineBreaksToEscapes(data, n);
        addPassesStepwise(data, n, position, password, passes);
        return sum;
    }
    const KeyRun run = makeKeyRun(password, n,
        [passes](unsigned char k) { return static_cast<unsigned char>(mod96(passes * k - 31)); });
    // One sweep: per key run, while it sits in the first-level cache, the
    // checksum, the escapes into a scratch run and the folded passes on it,
    // then back where it came from. The escapes look at the byte before the
    // run, which by then is already enciphered, so it is kept aside.
    std::vector<unsigned char> scratch(run.length);
    std::uint32_t sum = 0;
    unsigned char prev = 0;
    forEachRun(n, position, run.length, [&](std::size_t i, std::size_t j, std::size_t m) {
        const unsigned char next = i + m < n ? data[i + m] : 0;
        const unsigned char last = data[i + m - 1];
        sum += encipherRun(scratch.data(), data + i, m, prev, next, run.folded.data() + j,
            run.raw.data() + j, passes);
        std::memcpy(data + i, scratch.data(), m);
        prev = last;
    });
    return static_cast<std::int32_t>(sum);
}

std::int32_t decipherTextTo(unsigned char *dst, const unsigned char *src, std::size_t n,
    std::size_t position, BytesView password, int passes, unsigned char before)
{
    if (n == 0)
        return 0;
    if (password.empty() || passes <= 0 || !isPrintablePassword(password)) {
        std::memmove(dst, src, n);
        subtractPassesStepwise(dst, n, position, password, passes);
        escapesToLineBreaks(dst, n);
        if (before == 'P' && dst[0] == '^')
            dst[0] = '\n';
        return checksum(BytesView(reinterpret_cast<const char *>(dst), n));
    }
    const KeyRun run = makeKeyRun(password, n,
        [passes](unsigned char k) { return static_cast<unsigned char>(mod96(32 - passes * k)); });
    // One sweep: per key run, fold into a scratch run framed by the deciphered
    // bytes on either side, undo the escapes into a second one, add it up.
    // A run is read whole (with the byte after it) before it is written, so
    // dst may lie at or below src in the same buffer.
    std::vector<unsigned char> framed(run.length + 2);
    std::vector<unsigned char> scratch(run.length);
    std::uint32_t sum = 0;
    unsigned char prev = before;
    forEachRun(n, position, run.length, [&](std::size_t i, std::size_t j, std::size_t m) {
        sum += decipherRun(
            scratch.data(), framed.data(), src + i, m, i + m < n, prev, run.folded.data() + j);
        prev = framed[m];
        std::memcpy(dst + i, scratch.data(), m);
    });
    return static_cast<std::int32_t>(sum);
}

std::int64_t readField(BytesView field)
{
    const std::size_t n = std::min(field.size(), kFieldLength);
    std::size_t i = 0;
    while (i < n && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < n && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < n && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return negative ? -value : value;
}

void encipherInPlace(unsigned char *work, std::size_t n, BytesView password, int level)
{
    level = std::clamp(level, 1, 3);
    // The text first, which yields the checksum; the field goes in front.
    const std::int32_t sum =
        encipherTextInPlace(work + kFieldLength, n, kFieldLength, password, level);

    Bytes field = checksumField(sum);
    // A sum of -1,000,000,000 or less writes 11 characters; the first one is
    // never stored anyway, so keep the text at key position 10 and drop it.
    if (field.size() > kFieldLength)
        field.erase(0, field.size() - kFieldLength);
    keyPassAdd(field, kChecksumKey);
    // The field never holds a CR, so it has no escapes, and a "P^" never
    // straddles into the text.
    addPassesStepwise(
        reinterpret_cast<unsigned char *>(field.data()), kFieldLength, 0, password, level);
    std::memcpy(work, field.data(), kFieldLength);
}

void appendEnciphered(Bytes &out, BytesView plain, BytesView password, int level)
{
    const std::size_t start = out.size();
    out.reserve(start + kFieldLength + plain.size());
    out.append(kFieldLength, '0');
    out += plain;
    encipherInPlace(
        reinterpret_cast<unsigned char *>(out.data()) + start, plain.size(), password, level);
}

Verdict decipherInPlace(unsigned char *body, std::size_t size, int level, BytesView password)
{
    level = std::clamp(level, 0, 3);
    // No key to pass with: nothing can come back, so skip the passes and say so.
    const bool missingKey = level > 0 && password.empty();
    if (missingKey)
        level = 0;

    // The field is worked on apart from the text, which then moves down over it.
    const std::size_t fieldLength = std::min(size, kFieldLength);
    unsigned char field[kFieldLength] = {};
    if (fieldLength > 0) {
        std::memcpy(field, body, fieldLength);
        field[0] = '0';
    }
    for (std::size_t i = 0; i < fieldLength; ++i)
        field[i] = subtractStep(field[i], static_cast<unsigned char>(kChecksumKey[i]));

    subtractPassesStepwise(field, fieldLength, 0, password, level);
    if (fieldLength > 0)
        field[0] = '0';
    // A "P^" may straddle the field and the text; the text side is handled
    // with the text, the field side here.
    const unsigned char *text = body + fieldLength;
    const std::size_t n = size - fieldLength;
    const unsigned char lastOfField = fieldLength > 0 ? field[fieldLength - 1] : 0;
    unsigned char firstOfText = n == 0 ? 0 : text[0];
    subtractPassesStepwise(&firstOfText, n == 0 ? 0 : 1, kFieldLength, password, level);
    const std::int32_t sum =
        decipherTextTo(body, text, n, kFieldLength, password, level, lastOfField);
    escapesToLineBreaks(field, fieldLength);
    if (fieldLength == kFieldLength && n > 0 && lastOfField == 'P' && firstOfText == '^')
        field[kFieldLength - 1] = '\r';

    const BytesView fieldText(reinterpret_cast<const char *>(field), fieldLength);
    const std::int64_t stored = readField(fieldText);
    if (fieldLength < kFieldLength || missingKey)
        return Verdict::WrongPassword;
    // An empty text's field is ten zeros; that is a good block, not a wrong
    // password.
    if (stored == 0)
        return (n == 0 && fieldText == "0000000000") ? Verdict::Good : Verdict::WrongPassword;
    return stored == sum ? Verdict::Good : Verdict::ChecksumError;
}

} // namespace detail

// --- Transform ---------------------------------------------------------------

Bytes encipher(BytesView plain, BytesView password, int level)
{
    Bytes out;
    detail::appendEnciphered(out, plain, password, level);
    return out;
}

Deciphered decipher(BytesView body, int level, BytesView password)
{
    Deciphered result;
    result.plain = body;
    result.verdict = detail::decipherInPlace(
        reinterpret_cast<unsigned char *>(result.plain.data()), body.size(), level, password);
    result.plain.resize(body.size() - std::min(body.size(), kFieldLength));
    return result;
}

} // namespace cipher
