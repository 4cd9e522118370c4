#include "cipher/service.h"

#include "cipher/internal.h"
#include "cipher/strong.h"

#include <array>
#include <utility>

namespace cipher::service {

namespace {

// The first byte of a legacy body that is not a line break names its level.
int legacyLevel(BytesView body)
{
    const std::size_t at = body.find_first_not_of(kLineBreak);
    if (at == BytesView::npos)
        return 0;
    const std::size_t mark = kLevelMarks.find(body[at]);
    return mark == BytesView::npos ? 0 : int(mark) + 1;
}

std::size_t longestPassword(int level)
{
    return level == strong::kLevel ? strong::kMaxPasswordBytes : kMaxPasswordLength;
}

void wipeAll(Bytes &text)
{
    wipe(text.data(), text.size());
}

// A text not replaced may hold anything half done (noise from a wrong key):
// it goes, wiped.
void forget(Bytes &text)
{
    wipeAll(text);
    text.clear();
}

} // namespace

std::vector<Found> find(BytesView text)
{
    std::vector<Found> found;
    std::size_t from = 0;
    while (from < text.size()) {
        const BytesView rest = text.substr(from);
        const std::optional<detail::Cut> cut = detail::cutText(rest);
        if (!cut)
            break;
        Found block;
        block.begin = from + cut->beforeEnd;
        block.end = from + cut->afterStart;
        // Judged alone, so an earlier block never decides what this one is.
        const BytesView whole = text.substr(block.begin, block.end - block.begin);
        if (strong::containsStrongBlock(whole)) {
            block.kind = Kind::Strong;
            block.level = strong::kLevel;
        } else {
            block.level = legacyLevel(rest.substr(cut->bodyStart, cut->bodyEnd - cut->bodyStart));
        }
        found.push_back(block);
        if (cut->afterStart >= rest.size())
            break;
        from = block.end;
    }
    return found;
}

Encoding encodingFor(int level)
{
    return level == strong::kLevel ? Encoding::Utf8 : Encoding::EightBit;
}

Encoding encodingForDecrypting(BytesView text)
{
    return strong::containsStrongBlock(text) ? Encoding::Utf8 : Encoding::EightBit;
}

std::vector<Fact> checkPasswords(BytesView password, BytesView confirmation, int level)
{
    std::vector<Fact> told;
    if (password.empty())
        told.push_back({Verdict::EmptyPassword, level, {}});
    if (password != confirmation)
        told.push_back({Verdict::PasswordsDiffer, level, {}});
    if (!told.empty())
        return told;
    if (password.size() < std::size_t(minimumPasswordLength(level)))
        told.push_back({Verdict::PasswordTooShort, level, {}});
    else if (const auto issue = checkPassword(password))
        told.push_back({Verdict::PasswordCharacter, level, issue->describe()});
    else if (password.size() > longestPassword(level))
        told.push_back({Verdict::PasswordTooLong, level, {}});
    return told;
}

Result encrypt(Bytes &text, int level, BytesView password, BytesView confirmation, std::size_t room)
{
    Result result;
    result.kind = level == strong::kLevel ? Kind::Strong : Kind::Legacy;
    result.told = checkPasswords(password, confirmation, level);
    if (result.told.empty()) {
        if (level == strong::kLevel) {
            Bytes block = strong::encryptText(BytesView(text).substr(room), password);
            if (block.empty()) {
                result.told.push_back({Verdict::NoMemory, level, {}});
            } else {
                wipeAll(text);
                text.swap(block);
            }
        } else if (const auto issue = checkAndFold(text, room)) {
            // Outside what the cipher carries exactly, a round trip would
            // change the text without a word.
            result.told.push_back({Verdict::TextNotCarried, level, issue->describe()});
        } else {
            if (room == 0)
                encryptInPlace(text, password, level);
            else
                encryptAfterRoom(text, password, level);
            // A few passwords leave text that spells the end marker
            // unchanged, and such a block would not read back whole.
            if (const auto unreadable = checkBlock(text))
                result.told.push_back({Verdict::BlockUnreadable, level, unreadable->describe()});
        }
    }
    result.replaced = result.told.empty();
    if (!result.replaced)
        forget(text);
    return result;
}

Result decrypt(Bytes &text, BytesView password)
{
    Result result;
    const bool isStrong = strong::containsStrongBlock(text);
    result.kind = isStrong ? Kind::Strong : Kind::Legacy;
    const int level = isStrong ? strong::kLevel : 1;
    const auto tell = [&](Verdict verdict) {
        result.told.push_back({verdict, verdict == Verdict::NoBlock ? 0 : level, {}});
    };
    if (!isStrong && !containsBlock(text)) {
        tell(Verdict::NoBlock);
    } else if (password.size() > longestPassword(level)) {
        // No block was ever sealed with a password longer than its level
        // takes.
        tell(Verdict::PasswordTooLong);
    } else if (isStrong) {
        // Damage is told before an empty password is refused: no password
        // could open the block (and finding that out costs no key
        // derivation).
        Decryption opened = strong::decryptText(text, password);
        if (opened.verdict == cipher::Verdict::Good) {
            wipeAll(text);
            text.swap(opened.text);
        } else if (opened.verdict == cipher::Verdict::ChecksumError) {
            tell(Verdict::Damaged);
        } else {
            tell(password.empty() ? Verdict::EmptyPassword : Verdict::WrongPassword);
        }
    } else if (password.empty()) {
        tell(Verdict::EmptyPassword);
    } else {
        // Where it lies, so a long text is not held twice.
        const Decryption opened = decryptInPlace(text, password);
        if (opened.verdict == cipher::Verdict::WrongPassword)
            tell(Verdict::WrongPassword);
        else if (opened.verdict == cipher::Verdict::ChecksumError)
            tell(Verdict::DamagedWithText);
    }
    result.replaced = result.told.empty() || result.verdict() == Verdict::DamagedWithText;
    if (!result.replaced)
        forget(text);
    return result;
}

// --- Messages ----------------------------------------------------------------

namespace {

struct Row
{
    Verdict verdict;
    const char *title;
    Icon icon;
    // {what}, {level}, {min} (in words), {max} and {unit} stand for the facts.
    const char *text;
    const char *strongText; // at level 4, when it differs
    const char *terminal;
    int exitStatus;
};

// The program's words for every verdict: the window's and vlq's, side by
// side. vlq's own words start with "vlq: "; where both say the same, so does
// vlq.
constexpr Row kTable[] = {
    {Verdict::Good, "", Icon::None, "", nullptr, "", 0},
    {Verdict::NoBlock, "ERROR", Icon::None, "Unable to find encryption signature.", nullptr,
        "Unable to find encryption signature.", 2},
    {Verdict::EmptyPassword, "ERROR", Icon::Warning, "You must enter a password.", nullptr,
        "You must enter a password.", 1},
    {Verdict::PasswordsDiffer, "ERROR", Icon::Warning, "Passwords do not match.", nullptr,
        "Passwords do not match.", 1},
    {Verdict::PasswordTooShort, "ERROR", Icon::Warning,
        "Level {level} encryption requires a minimum password leanth of {min} characters.",
        "Level 4 encryption requires a minimum password length of twelve characters.",
        "Level {level} encryption requires a minimum password leanth of {min} characters.", 1},
    {Verdict::PasswordCharacter, "ERROR", Icon::Warning,
        "The password cannot contain {what}.\nUse letters, digits, spaces and punctuation marks "
        "only.",
        nullptr, "vlq: cannot use this password: {what}.", 1},
    {Verdict::PasswordTooLong, "ERROR", Icon::Warning,
        "Levels 1 to 3 take a password of at most {max} characters.",
        "Level 4 takes a password of at most {max} bytes.",
        "vlq: cannot use this password: it is longer than {max} {unit}.", 1},
    {Verdict::TextNotCarried, "ERROR", Icon::Warning,
        "This text cannot be encrypted: it contains {what}.\nEncryption would not give it back "
        "unchanged.",
        nullptr, "vlq: cannot encrypt this text exactly: {what}.", 1},
    {Verdict::BlockUnreadable, "ERROR", Icon::Warning,
        "This text cannot be encrypted with this password: the result would contain {what}.",
        nullptr, "vlq: cannot encrypt this text exactly: {what}.", 1},
    {Verdict::NoMemory, "ERROR", Icon::Warning,
        "Not enough memory for the strong level's key derivation.", nullptr,
        "vlq: cannot encrypt: the key derivation could not get its memory.", 1},
    {Verdict::WrongPassword, "WARNING", Icon::Warning, "Incorrect password.", nullptr,
        "Incorrect password.", 3},
    {Verdict::Damaged, "WARNING", Icon::Warning,
        "Check sum error:\nData may be corrupt or contain errors.", nullptr,
        "Check sum error:\nData may be corrupt or contain errors.", 4},
    {Verdict::DamagedWithText, "WARNING", Icon::Warning,
        "Check sum error:\nData may be corrupt or contain errors.", nullptr,
        "Check sum error:\nData may be corrupt or contain errors.", 4},
    {Verdict::NotText, "WARNING", Icon::Warning,
        "The password is right, but the encrypted text is not Unicode (UTF-8) text, so the "
        "editor cannot show it exactly. The block is left as it is: \"vlq decrypt\" gives its "
        "bytes.",
        nullptr, "vlq: the encrypted text is not UTF-8 text.", 1},
};

const Row &rowOf(Verdict verdict)
{
    for (const Row &row : kTable)
        if (row.verdict == verdict)
            return row;
    return kTable[0];
}

std::string filled(std::string format, const Fact &fact)
{
    static constexpr std::array<const char *, 4> kWords = {"one", "five", "eight", "twelve"};
    const int min = minimumPasswordLength(fact.level);
    const std::pair<const char *, std::string> values[] = {
        {"{what}", fact.what},
        {"{level}", std::to_string(fact.level)},
        {"{min}",
            min == 1       ? kWords[0]
                : min == 5 ? kWords[1]
                : min == 8 ? kWords[2]
                           : kWords[3]},
        {"{max}", std::to_string(longestPassword(fact.level))},
        {"{unit}", fact.level == strong::kLevel ? "bytes" : "characters"},
    };
    for (const auto &[key, value] : values) {
        for (std::size_t at = format.find(key); at != std::string::npos;
             at = format.find(key, at + value.size()))
            format.replace(at, std::string_view(key).size(), value);
    }
    return format;
}

} // namespace

Message message(const Fact &fact)
{
    const Row &row = rowOf(fact.verdict);
    const bool strongWords = fact.level == strong::kLevel && row.strongText;
    const char *text = strongWords ? row.strongText : row.text;
    // Where vlq says what the window says, it says the strong level's words too.
    const char *terminal =
        strongWords && std::string_view(row.terminal) == row.text ? row.strongText : row.terminal;
    return {row.title, row.icon, filled(text, fact), filled(terminal, fact), row.exitStatus};
}

int exitStatus(const Result &result)
{
    return result.told.empty() ? 0 : rowOf(result.verdict()).exitStatus;
}

} // namespace cipher::service
