#pragma once

// Helpers shared by the cipher core's source files and its tests; not part of
// the interface the rest of the program codes against.

#include "cipher/cipher.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// The kernels that sweep a whole text are also built for AVX2 where the
// processor has it (the loader picks the variant once); the default build
// keeps to SSE2.
#if defined(__x86_64__) && defined(__linux__) && (defined(__clang__) || __GNUC__ >= 6)
#define VLQ_RUN_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VLQ_RUN_KERNEL
#endif
#define VLQ_INLINE [[gnu::always_inline]] inline

namespace cipher::detail {

// True when every password byte lies in 32 to 126, where repeated passes can
// be folded into one (see the transform).
bool isPrintablePassword(BytesView password);

// `passes` password passes of the add (or subtract) step over data[0, n),
// where data[0] sits at key position `position` of the working string. Folds
// the passes into one where that is exact and steps one by one elsewhere; the
// result is always the same as `passes` calls of keyPassAdd / keyPassSubtract.
void addPasses(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes);
void subtractPasses(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes);

// The same, one step after another, for every byte (the reference).
void addPassesStepwise(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes);
void subtractPassesStepwise(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes);

// CR LF -> "P^" and back, in place. The pairs cannot overlap, so each is
// independent of the others.
void lineBreaksToEscapes(unsigned char *data, std::size_t n);
void escapesToLineBreaks(unsigned char *data, std::size_t n);

// The text part of the working string on the encrypt side, where it lies:
// CR LF -> "P^" and the password passes done (data[0] at key position
// `position`); returns the checksum of the plain text. One sweep per key run
// where folding the passes is exact.
std::int32_t encipherTextInPlace(
    unsigned char *data, std::size_t n, std::size_t position, BytesView password, int passes);

// The text part of the body on the decrypt side: writes src[0, n) to dst with
// the password passes undone and "P^" -> CR LF, where `before` is the
// deciphered byte in front of src[0] (a pair may straddle), and returns the
// checksum of what it wrote. dst may be src, or below it in the same buffer.
std::int32_t decipherTextTo(unsigned char *dst, const unsigned char *src, std::size_t n,
    std::size_t position, BytesView password, int passes, unsigned char before);

// Reads up to the first 10 bytes the way strtol does: leading white space,
// an optional sign, then digits up to the first non-digit; no digits gives 0.
std::int64_t readField(BytesView field);

// The working string where it lies: work[0, 10) is room for the field and
// work[10, 10 + n) holds the plain text, which is enciphered there.
void encipherInPlace(unsigned char *work, std::size_t n, BytesView password, int level);
// Appends the working string (enciphered field and text, 10 + n bytes) to out.
void appendEnciphered(Bytes &out, BytesView plain, BytesView password, int level);

// decipher() where the body lies: the plain text ends up in
// body[0, size - 10) (nothing for a body shorter than the field).
Verdict decipherInPlace(unsigned char *body, std::size_t size, int level, BytesView password);

// Where splitText() cuts a text: before-text [0, beforeEnd), body
// [bodyStart, bodyEnd), after-text [afterStart, size).
struct Cut
{
    std::size_t beforeEnd = 0;
    std::size_t bodyStart = 0;
    std::size_t bodyEnd = 0;
    std::size_t afterStart = 0;
};
std::optional<Cut> cutText(BytesView text);

// Every CR and LF removed.
Bytes withoutLineBreaks(BytesView text);

} // namespace cipher::detail
