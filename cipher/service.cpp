#include "cipher/service.h"

#include "cipher/armor.h"
#include "cipher/internal.h"
#include "cipher/strong.h"

#include <algorithm>
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
    return level == strong::kLevel ? strong::kMaxPasswordBytes
        : level == kOpenPgpPassword ? kOpenPgpMaxPassword
                                    : kMaxPasswordLength;
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

namespace {

std::vector<Found> findOurs(BytesView text)
{
    std::vector<Found> found;
    std::size_t from = 0;
    while (from < text.size()) {
        const BytesView rest = text.substr(from);
        const std::optional<detail::Cut> cut = detail::cutText(rest);
        if (!cut)
            break;
        Found block;
        // A begin marker that ends the text is cut with the text before it;
        // the block is the marker itself.
        const bool markerEnds = cut->beforeEnd == rest.size();
        block.begin = from + (markerEnds ? rest.size() - kBeginMarker.size() : cut->beforeEnd);
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

} // namespace

std::vector<Found> find(BytesView text)
{
    std::vector<Found> found = findOurs(text);
    for (const armor::Armored &armored : armor::find(text)) {
        Found block;
        block.kind = Kind::OpenPgp;
        block.begin = armored.begin;
        block.end = armored.end;
        block.quote = armored.quote;
        found.push_back(std::move(block));
    }
    std::stable_sort(found.begin(), found.end(),
        [](const Found &a, const Found &b) { return a.begin < b.begin; });
    // A block that starts inside an earlier one (an unended block of ours
    // takes the rest of the text) is part of it.
    std::vector<Found> apart;
    for (Found &block : found) {
        if (apart.empty() || block.begin >= apart.back().end)
            apart.push_back(std::move(block));
    }
    return apart;
}

Encoding encodingFor(int level)
{
    return level == strong::kLevel || level == kOpenPgpPassword ? Encoding::Utf8
                                                                 : Encoding::EightBit;
}

Encoding encodingForDecrypting(BytesView text)
{
    const std::vector<Found> blocks = find(text);
    if (!blocks.empty() && blocks.front().kind == Kind::OpenPgp)
        return Encoding::Utf8;
    return strong::containsStrongBlock(text) ? Encoding::Utf8 : Encoding::EightBit;
}

Encoding encodingForDecrypting(BytesView text, const Found &block)
{
    if (block.kind == Kind::OpenPgp)
        return Encoding::Utf8;
    return encodingForDecrypting(text.substr(block.begin, block.end - block.begin));
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
    if (level == kOpenPgpPassword) {
        // GnuPG reads the password as one line, so it must be one.
        const std::size_t bad = password.find_first_of(BytesView("\r\n\0", 3));
        if (bad != BytesView::npos)
            told.push_back({Verdict::PasswordCharacter, level,
                (password[bad] == '\0' ? "a zero byte at position " : "a line break at position ")
                    + std::to_string(bad + 1)});
        else if (password.size() > kOpenPgpMaxPassword)
            told.push_back({Verdict::PasswordTooLong, level, {}});
        return told;
    }
    if (password.size() < std::size_t(minimumPasswordLength(level)))
        told.push_back({Verdict::PasswordTooShort, level, {}});
    else if (const auto issue = checkPassword(password))
        told.push_back({Verdict::PasswordCharacter, level, issue->describe()});
    else if (password.size() > longestPassword(level))
        told.push_back({Verdict::PasswordTooLong, level, {}});
    return told;
}

namespace {

Verdict verdictOf(openpgp::Outcome outcome)
{
    using openpgp::Outcome;
    switch (outcome) {
    case Outcome::Good:
        return Verdict::Good;
    case Outcome::WrongPassword:
        return Verdict::WrongPassword;
    case Outcome::PasswordNeeded:
        return Verdict::EmptyPassword;
    case Outcome::NoSecretKey:
        return Verdict::NoSecretKey;
    case Outcome::NotIntegrityProtected:
        return Verdict::NotIntegrityProtected;
    case Outcome::Damaged:
        return Verdict::Damaged;
    case Outcome::NoGnuPG:
        return Verdict::NoOpenPgp;
    case Outcome::Canceled:
        return Verdict::Canceled;
    case Outcome::KeyUnusable:
        return Verdict::KeyUnusable;
    }
    return Verdict::Damaged;
}

// An OpenPGP encryption's outcome: the text becomes the armored message.
void tookArmor(Result &result, Bytes &text, openpgp::Done &done)
{
    if (done.outcome != openpgp::Outcome::Good) {
        result.told.push_back({verdictOf(done.outcome), kOpenPgpPassword, done.what});
        return;
    }
    // Nothing after the end marker, as for our blocks: decrypting gives the
    // text back exactly, without a line end gpg added.
    if (done.armor.ends_with('\n'))
        done.armor.pop_back();
    wipeAll(text);
    text.swap(done.armor);
}

} // namespace

Result encrypt(Bytes &text, int level, BytesView password, BytesView confirmation, std::size_t room)
{
    Result result;
    result.kind = level == strong::kLevel ? Kind::Strong
        : level == kOpenPgpPassword       ? Kind::OpenPgp
                                          : Kind::Legacy;
    result.told = checkPasswords(password, confirmation, level);
    if (result.told.empty()) {
        if (level == kOpenPgpPassword) {
            openpgp::Done done =
                openpgp::encryptWithPassword(BytesView(text).substr(room), password);
            tookArmor(result, text, done);
        } else if (level == strong::kLevel) {
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

Result encryptFor(Bytes &text, const std::vector<std::string> &fingerprints)
{
    Result result;
    result.kind = Kind::OpenPgp;
    openpgp::Done done = openpgp::encryptTo(text, fingerprints);
    tookArmor(result, text, done);
    result.replaced = result.told.empty();
    if (!result.replaced)
        forget(text);
    return result;
}

Requirement inspect(BytesView text, const Found &block)
{
    Requirement required;
    if (block.kind != Kind::OpenPgp)
        return required;
    const Bytes armored = armor::unquote(text, {block.begin, block.end, block.quote});
    openpgp::Needed needed = openpgp::inspect(armored);
    required.needs = needed.needsKey ? Needs::Key : Needs::Password;
    required.recipients = std::move(needed.recipients);
    if (needed.outcome != openpgp::Outcome::Good)
        required.problem = {verdictOf(needed.outcome), kOpenPgpPassword, needed.what};
    return required;
}

namespace {

Result decryptOpenPgp(Bytes &text, const Found &block, BytesView password)
{
    Result result;
    result.kind = Kind::OpenPgp;
    const Bytes armored = armor::unquote(text, {block.begin, block.end, block.quote});
    openpgp::Done done = openpgp::decrypt(armored, password);
    if (done.outcome != openpgp::Outcome::Good) {
        result.told.push_back({verdictOf(done.outcome), kOpenPgpPassword, done.what});
        forget(text);
        return result;
    }
    result.signature.status = Signature::Status(int(done.signature.status));
    result.signature.signer = done.signature.signer;
    if (result.signature.status == Signature::Status::Bad)
        result.told.push_back({Verdict::BadSignature, kOpenPgpPassword, result.signature.signer});
    const BytesView plain = done.plain.view();
    Bytes out;
    out.reserve(text.size() - (block.end - block.begin) + plain.size());
    out.append(text, 0, block.begin);
    out.append(plain);
    out.append(text, block.end);
    wipeAll(text);
    text.swap(out);
    result.replaced = true;
    return result;
}

} // namespace

Result decrypt(Bytes &text, const Found &block, BytesView password)
{
    if (block.kind == Kind::OpenPgp)
        return decryptOpenPgp(text, block, password);
    // Ours, cut out: its text around is put back as it was.
    Bytes part = text.substr(block.begin, block.end - block.begin);
    Result result = decrypt(part, password);
    if (result.replaced) {
        Bytes out;
        out.reserve(text.size() - (block.end - block.begin) + part.size());
        out.append(text, 0, block.begin);
        out.append(part);
        out.append(text, block.end);
        wipeAll(text);
        text.swap(out);
    } else {
        forget(text);
    }
    wipeAll(part);
    return result;
}

Result decrypt(Bytes &text, BytesView password)
{
    if (const std::vector<Found> blocks = find(text);
        !blocks.empty() && blocks.front().kind == Kind::OpenPgp)
        return decryptOpenPgp(text, blocks.front(), password);
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
    {Verdict::NoSecretKey, "WARNING", Icon::Warning,
        "This message is encrypted to keys whose secret key you do not hold:\n{what}\nOnly "
        "their holders can decrypt it.",
        nullptr, "vlq: no secret key for this message; it is encrypted to {what}.", 5},
    {Verdict::NotIntegrityProtected, "WARNING", Icon::Warning,
        "This message has no integrity protection: it could have been changed on the way "
        "without anyone noticing. It is not decrypted.",
        nullptr,
        "vlq: the message has no integrity protection (it could have been changed on the way); "
        "not decrypted.",
        4},
    {Verdict::NoOpenPgp, "ERROR", Icon::Warning,
        "OpenPGP needs GnuPG, which could not be used:\n{what}", nullptr,
        "vlq: OpenPGP needs GnuPG, which could not be used: {what}.", 1},
    {Verdict::KeyUnusable, "ERROR", Icon::Warning, "Cannot encrypt to this key:\n{what}",
        nullptr, "vlq: cannot encrypt to {what}.", 1},
    {Verdict::Canceled, "WARNING", Icon::Warning, "Decryption canceled.", nullptr,
        "vlq: decryption canceled.", 1},
    {Verdict::BadSignature, "WARNING", Icon::Warning,
        "BAD signature: the message claims to be signed by {what}, but the signature does not "
        "match. It was changed after signing, or the signature is forged.",
        nullptr,
        "vlq: BAD signature: the message claims to be signed by {what}, but the signature does "
        "not match.",
        4},
};

// Where an OpenPGP password's words differ from the levels': {window, vlq}.
struct OpenPgpWords
{
    Verdict verdict;
    const char *text;
    const char *terminal;
};
constexpr OpenPgpWords kOpenPgpWords[] = {
    {Verdict::PasswordCharacter, "The password cannot contain {what}.",
        "vlq: cannot use this password: {what}."},
    {Verdict::PasswordTooLong, "An OpenPGP password takes at most {max} bytes.",
        "vlq: cannot use this password: it is longer than {max} bytes."},
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
        {"{unit}", fact.level >= strong::kLevel ? "bytes" : "characters"},
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
    if (fact.level == kOpenPgpPassword) {
        for (const OpenPgpWords &words : kOpenPgpWords) {
            if (words.verdict == fact.verdict)
                return {row.title, row.icon, filled(words.text, fact),
                    filled(words.terminal, fact), row.exitStatus};
        }
    }
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
