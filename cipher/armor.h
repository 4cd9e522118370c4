#pragma once

// Finding OpenPGP armored messages in a text as mail leaves them: anywhere
// in prose, quoted ("> ", "> > ", ">" on every line), several in one text.
// Text handling only: what lies between the armor lines is GnuPG's to read.

#include "cipher/cipher.h"

#include <string>
#include <vector>

namespace cipher::armor {

inline constexpr std::string_view kBegin = "-----BEGIN PGP MESSAGE-----";
inline constexpr std::string_view kEnd = "-----END PGP MESSAGE-----";

struct Armored
{
    std::size_t begin = 0; // of its first line's quote, or of the begin line
    std::size_t end = 0; // past the end marker (what follows on its line is prose)
    std::string quote; // the prefix every line carries
};

// Every armored message, in order. Its lines run from the begin line to the
// end line; a line without the quote ends a quoted message early, and a
// message without its end line takes the rest (GnuPG then says it is
// damaged).
std::vector<Armored> find(BytesView text);

// The message's lines without their quote, each ending in LF, as GnuPG
// reads an armored message.
Bytes unquote(BytesView text, const Armored &armored);

} // namespace cipher::armor
