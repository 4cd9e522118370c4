#pragma once

// What the encrypt command refuses about the passwords it is given, before it
// reads or changes any text. The encrypt dialog and vlq both ask here, so
// they refuse the same things in the same order with the same words.

#include "cipher/cipher.h"

#include <optional>
#include <string>
#include <vector>

namespace cipher {

struct PasswordRefusal
{
    enum class Kind {
        Empty,
        Differ,
        TooShortForLevel,
        Character, // issue names it
        TooLong, // longer than maximumPasswordLength(level)
    };
    Kind kind;
    int level = 1;
    std::optional<DomainIssue> issue;

    // The user's text for the first three kinds ("You must enter a
    // password.", ...); the others are worded by each front end, which knows
    // how the password was typed.
    std::string text() const;
};

// The longest password a level takes: 245 characters at the legacy levels,
// whose old readers take no more; far more at the strong level.
std::size_t maximumPasswordLength(int level);

// In the order the user is told them: an empty password and differing
// passwords both; else a password too short for the level; else a character
// the cipher cannot carry; else one too long. Empty when the pair is usable.
std::vector<PasswordRefusal> checkPasswords(BytesView password, BytesView confirmation, int level);

} // namespace cipher
