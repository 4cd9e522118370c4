#include "cipher/refusals.h"

#include "cipher/strong.h"

namespace cipher {

std::string PasswordRefusal::text() const
{
    switch (kind) {
    case Kind::Empty:
        return "You must enter a password.";
    case Kind::Differ:
        return "Passwords do not match.";
    case Kind::TooShortForLevel:
        if (level == 4)
            return "Level 4 encryption requires a minimum password length of twelve characters.";
        return "Level " + std::to_string(level)
            + " encryption requires a minimum password leanth of " + (level == 2 ? "five" : "eight")
            + " characters.";
    case Kind::Character:
    case Kind::TooLong:
        break;
    }
    return {};
}

std::size_t maximumPasswordLength(int level)
{
    return level == strong::kLevel ? strong::kMaxPasswordBytes : kMaxPasswordLength;
}

std::vector<PasswordRefusal> checkPasswords(BytesView password, BytesView confirmation, int level)
{
    using Kind = PasswordRefusal::Kind;
    std::vector<PasswordRefusal> refusals;
    if (password.empty())
        refusals.push_back({Kind::Empty, level, {}});
    if (password != confirmation)
        refusals.push_back({Kind::Differ, level, {}});
    if (!refusals.empty())
        return refusals;
    if (password.size() < std::size_t(minimumPasswordLength(level)))
        refusals.push_back({Kind::TooShortForLevel, level, {}});
    else if (auto issue = checkPassword(password))
        refusals.push_back({Kind::Character, level, issue});
    else if (password.size() > maximumPasswordLength(level))
        refusals.push_back({Kind::TooLong, level, {}});
    return refusals;
}

} // namespace cipher
