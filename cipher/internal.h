#pragma once

// Helpers shared by the cipher core's source files and its tests; not part of
// the interface the rest of the program codes against.

#include "cipher/cipher.h"

#include <cstddef>
#include <cstdint>

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

// The text part of the working string on the encrypt side: appends plain
// with CR LF -> "P^" and the password passes done (plain[0] at key position
// `position`) and returns the checksum of plain. One sweep per key run where
// folding the passes is exact.
std::int32_t appendEncipheredText(
    Bytes &out, BytesView plain, std::size_t position, BytesView password, int passes);

// The text part of the body on the decrypt side: appends it with the password
// passes undone and "P^" -> CR LF, where `before` is the deciphered byte in
// front of text[0] (a pair may straddle), and returns the checksum of what it
// appended.
std::int32_t appendDecipheredText(Bytes &out, BytesView text, std::size_t position,
    BytesView password, int passes, unsigned char before);

// Reads up to the first 10 bytes the way strtol does: leading white space,
// an optional sign, then digits up to the first non-digit; no digits gives 0.
std::int64_t readField(BytesView field);

// Appends the working string (enciphered field and text, 10 + n bytes) to out.
void appendEnciphered(Bytes &out, BytesView plain, BytesView password, int level);

// Every CR and LF removed.
Bytes withoutLineBreaks(BytesView text);

} // namespace cipher::detail
