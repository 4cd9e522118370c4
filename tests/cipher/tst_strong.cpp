// The strong level: its block format frozen by known answers (both versions),
// round trips through mail-style re-wrapping, the verdicts for every kind of
// damage, a damaged mark known by the block's content, and how the legacy
// reader and the strong one keep out of each other's way.

#include "cipher/cipher.h"
#include "cipher/strong.h"
#include "tests/support/files.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <cctype>
#include <sodium.h>
#include <vector>

using namespace cipher;
using namespace cipher::strong;

namespace {

// Small Argon2 parameters so the tests run fast; they are written in the block.
constexpr Params kSmall {1, 8u << 20};
constexpr std::string_view kPassword = "correct horse battery";

detail::Salt fixedSalt()
{
    detail::Salt s;
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<unsigned char>(i);
    return s;
}

detail::Nonce fixedNonce()
{
    detail::Nonce n;
    for (std::size_t i = 0; i < n.size(); ++i)
        n[i] = static_cast<unsigned char>(0xA0 + i);
    return n;
}

Bytes knownBlock(BytesView plain, BytesView password = kPassword, Params params = kSmall)
{
    return detail::encryptWith(plain, password, params, fixedSalt(), fixedNonce());
}

// The body of a block: everything between the begin marker and the end marker.
Bytes bodyOf(const Bytes &block)
{
    const std::size_t from = kBeginMarker.size();
    return block.substr(from, block.size() - from - kEndMarker.size());
}

Bytes withBody(const Bytes &body)
{
    return Bytes(kBeginMarker) + body + Bytes(kEndMarker);
}

// Base64 of a payload written by hand, for blocks the writer would never make.
Bytes blockFromPayload(const Bytes &payload)
{
    Bytes b64(sodium_base64_encoded_len(payload.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(b64.data(), b64.size(),
        reinterpret_cast<const unsigned char *>(payload.data()), payload.size(),
        sodium_base64_VARIANT_ORIGINAL);
    b64.pop_back();
    return withBody("\r\n4" + b64 + "\r\n");
}

Bytes payloadOf(const Bytes &block)
{
    Bytes body = bodyOf(block);
    const std::size_t mark = body.find('4');
    return *detail::decodeBody(BytesView(body).substr(mark + 1));
}

// Version 1, written by the first release with libsodium 1.0.18 and frozen:
// read for ever, though no longer written.
constexpr char kKnownEmpty[] =
    "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n"
    "4AQAAAAEAgAAAAAECAwQFBgcICQoLDA0OD6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t/I3TgV2DEm\r\n"
    "yaNNWn8/ES5NBESRq0W2/dOgfdVbfuY637UWgohkzJFc=\r\n"
    "[End_Encryption]";
constexpr char kKnownUnicode[] =
    "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n"
    "4AQAAAAEAgAAAAAECAwQFBgcICQoLDA0OD6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t/I3TgV2DEm\r\n"
    "yaNNWn8/ES5NBESRq0W2/dDoCEX1wj33GkayqiHEdTGKRSzzy2n6Bp+f2l8LOdhr56B4KLtV12y7\r\n"
    "DTw==\r\n"
    "[End_Encryption]";

// Version 2, frozen the same way; docs/strong-format.md gives them as its
// vectors 1 and 2, and tests/cipher/strong_vectors.py rebuilds them there.
constexpr char kVector1[] =
    "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n"
    "4AgAAAAEAgAAAAAECAwQFBgcICQoLDA0OD6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t+hnhb7OiId\r\n"
    "3/zKcG230ci7SqP+Pm7Uy8toI2iX1CvpF5UaAKGdFbOIXcBqJB+8fvI+pMiOoeYbMcasuTP1a4xg\r\n"
    "lZw==\r\n"
    "[End_Encryption]";
constexpr char kVector2[] =
    "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n"
    "4AgAAAAIBAAAA8PHy8/T19vf4+fr7/P3+/wABAgMEBQYHCAkKCwwNDg8QERITFBUWF7PKROP3v6S\r\n"
    "rGqxdBFxktmyrRYEKYv8B+1ikVRppzWU1gv/pkki/+CxdK0NJ2WeKykNSE0OCLp4P9tN3xOmUHhH\r\n"
    "zSuXTwmmWE64a3DEZGB2zPjVUJ9+FhoJzCRDPWAXeOrUq7tO25g31pA8iRu0iXaUadVr5DunOFP9\r\n"
    "iPrIQdW9PpuFDGQnYNbFlJ9LpANxD7BqCIMuUmtQR/UdaoItBO7BorMiKtd9+GFjNwNpEQq1DGgV\r\n"
    "VIgSbe2Isinmhxl9VNJF5i5XHkM8pNZvlhMdKg/wgo1SjBz9qkYtlVNdgXHoqxo0zlNVsezqj5xA\r\n"
    "5v4ZkVSP37B5WHSnUMlW6iVWObc3O/NI05v4WAJ0vQ6H95XMimPy6ASTQQt7FI5V9S7uSgqE1htG\r\n"
    "Ocnz1\r\n"
    "[End_Encryption]";
constexpr char kUnicodePlain[] = "Gr\xc3\xbc\xc3\x9f"
                                 "e\tand \xe2\x82\xac\r\nline\nend\r";

Bytes everyByteValue()
{
    Bytes all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[std::size_t(i)] = static_cast<char>(i);
    return all;
}

struct Known
{
    const char *block;
    Bytes plain;
    BytesView password;
};

std::vector<Known> knownBlocks()
{
    return {{kKnownEmpty, "", kPassword}, {kKnownUnicode, kUnicodePlain, kPassword},
        {kVector1, kUnicodePlain, kPassword}, {kVector2, everyByteValue(), "twelve chars or more"}};
}

// Printable passwords of 1 to 30 characters, the same every run.
std::vector<Bytes> manyPasswords(int count)
{
    QRandomGenerator random(1417);
    std::vector<Bytes> passwords {"`", "password", "twelve chars or more"};
    while (int(passwords.size()) < count) {
        Bytes p(std::size_t(random.bounded(1, 31)), ' ');
        for (char &c : p)
            c = static_cast<char>(random.bounded(32, 127));
        passwords.push_back(p);
    }
    return passwords;
}

} // namespace

class TestStrong : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswers();
    void blockShape();
    void roundTrips();
    void everySingleChangedCharacterIsDamage();
    void wrongPassword();
    void truncatedAndOverlong();
    void hostileParametersRefusedBeforeAllocation();
    void legacyReaderRefusesHarmlessly();
    void onlyMarkFourTakesTheStrongRoad();
    void damagedMarkIsDamageWithEveryPassword();
    void legacyBlocksStillRead();
};

void TestStrong::knownAnswers()
{
    // The writer gives version 2 exactly, with the keys apart: the vectors
    // need a 64-byte derivation split in two (strong_vectors.py rebuilds them).
    QCOMPARE(knownBlock(kUnicodePlain), Bytes(kVector1));
    detail::Salt salt;
    detail::Nonce nonce;
    for (std::size_t i = 0; i < salt.size(); ++i)
        salt[i] = static_cast<unsigned char>(0xF0 + i);
    for (std::size_t i = 0; i < nonce.size(); ++i)
        nonce[i] = static_cast<unsigned char>(i);
    QCOMPARE(
        detail::encryptWith(everyByteValue(), "twelve chars or more", {2, 16u << 20}, salt, nonce),
        Bytes(kVector2));
    // Every frozen block of both versions reads back; the format document
    // gives the ones it names as they are here.
    const QByteArray document = testsupport::fileBytes(
        qEnvironmentVariable("VLQ_SOURCE_DIR") + QStringLiteral("/docs/strong-format.md"));
    QVERIFY(!document.isEmpty());
    for (const Known &known : knownBlocks()) {
        const Decryption back = strong::decryptText(known.block, known.password);
        QVERIFY(back.found);
        QCOMPARE(back.verdict, Verdict::Good);
        QCOMPARE(back.text, known.plain);
        if (known.block != kKnownUnicode)
            QVERIFY(document.contains(QByteArray(known.block).replace("\r\n", "\n")));
    }
}

void TestStrong::blockShape()
{
    const Bytes block = knownBlock(Bytes(500, 'x'));
    QVERIFY(block.starts_with(Bytes(kBeginMarker) + "\r\n4"));
    QVERIFY(block.ends_with("\r\n" + Bytes(kEndMarker)));
    const Bytes body = bodyOf(block);
    // Standard base64 in lines of 76 with CR LF: never a "[" to spell the end marker.
    QVERIFY(body.find('[') == Bytes::npos);
    for (char c : body.substr(3, body.size() - 5))
        QVERIFY(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '='
            || c == '\r' || c == '\n');
    std::size_t lineStart = 2;
    for (std::size_t at; (at = body.find("\r\n", lineStart)) != Bytes::npos; lineStart = at + 2)
        QVERIFY(at - lineStart <= kLineLength);
    const Bytes payload = payloadOf(block);
    QCOMPARE(payload.size(), kMinPayload + 500);
    QCOMPARE(static_cast<unsigned char>(payload[0]), kVersion);
    const std::optional<Params> params = detail::readParams(payload);
    QCOMPARE(params->opslimit, kSmall.opslimit);
    QCOMPARE(params->memlimit, kSmall.memlimit);
    QCOMPARE(payload.substr(9, 16), Bytes(reinterpret_cast<const char *>(fixedSalt().data()), 16));
    // Fresh salt and nonce every time.
    QVERIFY(
        strong::encryptText("x", kPassword, kSmall) != strong::encryptText("x", kPassword, kSmall));
    QVERIFY(containsStrongBlock(block));
}

void TestStrong::roundTrips()
{
    const Bytes plain =
        "tabs\there\r\nlone CR\rlone LF\n\x00 zero, [End_Encryption] and \xf0\x9f\x94\x92";
    const Bytes block = strong::encryptText(plain, kPassword, kSmall);
    const Bytes body = bodyOf(block);

    // Re-wrapped by a mail program: other line lengths, LF only, blanks, indents.
    Bytes rewrapped, spaced;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r' || body[i] == '\n')
            continue;
        rewrapped += body[i];
        spaced += body[i];
        if (i % 40 == 39)
            rewrapped += "\n";
        if (i % 7 == 3)
            spaced += i % 2 ? " " : "\t";
    }
    for (const Bytes &b :
        {body, "\r\n" + rewrapped + "\n", "  " + spaced + "\r\n\r\n", rewrapped}) {
        const Bytes text = "Dear Ann,\r\n\r\n" + withBody(b) + "\r\n-- \r\nBob";
        const Decryption r = strong::decryptText(text, kPassword);
        QVERIFY(r.found);
        QCOMPARE(r.verdict, Verdict::Good);
        QCOMPARE(r.text, "Dear Ann,\r\n\r\n" + plain + "\r\n-- \r\nBob");
    }
    // Large text, every byte value.
    Bytes big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 256);
    QCOMPARE(strong::decryptText(strong::encryptText(big, kPassword, kSmall), kPassword).text, big);
}

void TestStrong::everySingleChangedCharacterIsDamage()
{
    const Bytes block = knownBlock("short secret");
    const std::size_t from = kBeginMarker.size() + 3; // after CR LF and the mark
    const std::size_t to = block.size() - kEndMarker.size() - 2;
    const std::string_view replacements = "AQZaz09+/=-!.";
    int tried = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (block[i] == '\r' || block[i] == '\n')
            continue;
        for (char c : replacements) {
            if (c == block[i])
                continue;
            Bytes damaged = block;
            damaged[i] = c;
            const Decryption r = strong::decryptText(damaged, kPassword);
            QVERIFY(r.found);
            if (r.verdict != Verdict::ChecksumError)
                QFAIL(qPrintable(QStringLiteral("position %1 as '%2' gave verdict %3")
                                     .arg(i)
                                     .arg(QChar(c))
                                     .arg(int(r.verdict))));
            QVERIFY(r.text.empty());
            ++tried;
        }
    }
    QVERIFY(tried > 1000);
}

void TestStrong::wrongPassword()
{
    const Bytes block = knownBlock("secret");
    for (BytesView wrong : {BytesView("correct horse batterY"), BytesView("correct horse battery "),
             BytesView("x"), BytesView("")}) {
        const Decryption r = strong::decryptText(block, wrong);
        QVERIFY(r.found);
        QCOMPARE(r.verdict, Verdict::WrongPassword);
        QVERIFY(r.text.empty());
    }
    QVERIFY(!strong::decryptText("no block here", kPassword).found);
    QVERIFY(strong::encryptText("x", "", kSmall).empty());
}

void TestStrong::truncatedAndOverlong()
{
    const Bytes block = knownBlock("a secret of some length, to cut");
    const Bytes body = bodyOf(block);
    const Bytes core = body.substr(0, body.size() - 2); // without the closing CR LF
    for (std::size_t cut = 3; cut < core.size(); ++cut) {
        const Decryption r = strong::decryptText(withBody(core.substr(0, cut) + "\r\n"), kPassword);
        QCOMPARE(r.verdict, Verdict::ChecksumError);
        QVERIFY(r.text.empty());
    }
    // Body with no end marker at all.
    QCOMPARE(strong::decryptText(Bytes(kBeginMarker) + core, kPassword).verdict, Verdict::Good);
    // Extra base64, extra payload bytes, junk after the padding.
    Bytes payload = payloadOf(block);
    for (const Bytes &extra : {Bytes("A"), Bytes(3, 'x'), Bytes(1000, '\0')}) {
        const Decryption r = strong::decryptText(blockFromPayload(payload + extra), kPassword);
        QCOMPARE(r.verdict, Verdict::ChecksumError);
        QVERIFY(r.text.empty());
    }
    QCOMPARE(strong::decryptText(withBody(core + "QUJD\r\n"), kPassword).verdict,
        Verdict::ChecksumError);
    QCOMPARE(
        strong::decryptText(withBody(core + "=\r\n"), kPassword).verdict, Verdict::ChecksumError);
    QCOMPARE(strong::decryptText(withBody("\r\n4\r\n"), kPassword).verdict, Verdict::ChecksumError);
    // The hand-made payload path itself reads back.
    QCOMPARE(strong::decryptText(blockFromPayload(payload), kPassword).verdict, Verdict::Good);
}

void TestStrong::hostileParametersRefusedBeforeAllocation()
{
    QVERIFY(affordable(kDefaultParams));
    QVERIFY(affordable(kSmall));
    const Params hostile[] = {{0xFFFFFFFF, 0xFFFFFFFF}, {1, kMaxMemlimit + 1},
        {kMaxOpslimit + 1, 8u << 20}, {0, 8u << 20}, {1, kMinMemlimit - 1}, {1000, kMaxMemlimit}};
    for (const Params &p : hostile) {
        QVERIFY(!affordable(p));
        // A block that states them, its header check made right so only the
        // parameters are wrong.
        Bytes payload = payloadOf(knownBlock("secret"));
        auto *u = reinterpret_cast<unsigned char *>(payload.data());
        for (int k = 0; k < 4; ++k) {
            u[1 + k] = static_cast<unsigned char>(p.opslimit >> (24 - 8 * k));
            u[5 + k] = static_cast<unsigned char>(p.memlimit >> (24 - 8 * k));
        }
        crypto_generichash(u + kHeaderSize, kHeaderCheckSize, u, kHeaderSize,
            reinterpret_cast<const unsigned char *>("Velmorandquist strong header"), 28);
        QCOMPARE(detail::readParams(payload)->memlimit, p.memlimit);
        QElapsedTimer timer;
        timer.start();
        const Decryption r = strong::decryptText(blockFromPayload(payload), kPassword);
        // Refused without running Argon2 (which at these sizes takes seconds).
        QVERIFY(timer.elapsed() < 200);
        QCOMPARE(r.verdict, Verdict::ChecksumError);
        QVERIFY(r.text.empty());
        // The writer refuses them too.
        QVERIFY(knownBlock("x", kPassword, p).empty());
    }
}

void TestStrong::legacyReaderRefusesHarmlessly()
{
    // Today's reader, cipher::decryptText, on a level 4 block inside text.
    const Bytes text = "before " + knownBlock("secret") + " after";
    const Decryption legacy = cipher::decryptText(text, kPassword);
    QVERIFY(legacy.found);
    QCOMPARE(legacy.verdict, Verdict::WrongPassword);
    QVERIFY(containsBlock(text));
    Bytes inPlace = text;
    QCOMPARE(cipher::decryptInPlace(inPlace, kPassword).verdict, Verdict::WrongPassword);
}

void TestStrong::onlyMarkFourTakesTheStrongRoad()
{
    for (int level = 1; level <= 3; ++level) {
        const Bytes legacy = cipher::encryptText("Hello, world.", "password", level);
        QVERIFY(!containsStrongBlock(legacy));
        QVERIFY(!strong::decryptText(legacy, "password").found);
        QCOMPARE(cipher::decryptText(legacy, "password").verdict, Verdict::Good);
    }
    QVERIFY(!containsStrongBlock(withBody("\r\n%4AAAA\r\n")));
    QVERIFY(containsStrongBlock(withBody(" \r\n 4AAAA\r\n")));
    QVERIFY(!containsStrongBlock("4 without a block"));
}

void TestStrong::damagedMarkIsDamageWithEveryPassword()
{
    // The mark replaced by a legacy one, one put before it, none, another
    // character, and each with the body re-wrapped or damaged further on.
    const std::vector<Bytes> passwords = manyPasswords(60);
    int noise = 0;
    int tried = 0;
    for (const Known &known : knownBlocks()) {
        const Bytes block = known.block;
        const std::size_t at = kBeginMarker.size() + 2;
        QCOMPARE(block[at], '4');
        for (const char *mark : {"%", "^", "&", "%4", "^4", "&4", "", "x", "4%", "^\r\n 4"}) {
            Bytes damaged = block.substr(0, at) + mark + block.substr(at + 1);
            Bytes rewrapped = "> " + damaged;
            for (std::size_t i = rewrapped.size() - 30; i > at + 10; i -= 37)
                rewrapped.insert(i, "\n  ");
            Bytes twice = damaged;
            twice[twice.size() - 30] ^= 1; // past the header
            for (const Bytes &text : {damaged, rewrapped, twice}) {
                QVERIFY(containsStrongBlock(text));
                for (std::size_t k = 0; k <= passwords.size(); ++k) {
                    const BytesView pw = k < passwords.size() ? passwords[k] : known.password;
                    const Decryption r = strong::decryptText(text, pw);
                    QVERIFY(r.found);
                    QCOMPARE(r.verdict, Verdict::ChecksumError);
                    QVERIFY(r.text.empty());
                    // What the legacy reader, which took these blocks before,
                    // would have done: noise in about one case in fourteen.
                    const Decryption legacy = cipher::decryptText(text, pw);
                    noise += legacy.verdict == Verdict::ChecksumError && !legacy.text.empty();
                    ++tried;
                }
            }
        }
    }
    QVERIFY2(noise > tried / 40, qPrintable(QStringLiteral("%1 of %2").arg(noise).arg(tried)));
}

void TestStrong::legacyBlocksStillRead()
{
    // Texts that look most like a strong payload: base64 itself (read back
    // as it is by the password "`"), a quoted strong block, a quoted legacy
    // one, and ordinary text, at every level with many passwords, as written
    // and with a mail program's line breaks in the body.
    Bytes base64 = kVector1;
    base64 = base64.substr(kBeginMarker.size() + 3, base64.size() - kBeginMarker.size() - 3 - 18);
    Bytes quotedLegacy = "Re:\r\n> " + cipher::encryptText("inner\r\n", "pw12345678", 3);
    foldBlockBodies(quotedLegacy);
    QRandomGenerator random(1418);
    Bytes ordinary(300, ' ');
    for (char &c : ordinary)
        c = static_cast<char>(random.bounded(32, 126)); // no "^", so no "P^"
    const Bytes texts[] = {base64, "AQAAAA" + base64, "> " + Bytes(kVector2) + "\r\nthanks",
        quotedLegacy, ordinary, ""};
    int read = 0;
    for (int level = 1; level <= 3; ++level) {
        for (const Bytes &password : manyPasswords(100)) {
            for (const Bytes &plain : texts) {
                Bytes block = cipher::encryptText(plain, password, level);
                if (checkBlock(block))
                    continue; // the end marker spelled: the writer refuses these
                for (const Bytes &text : {block, "Dear Ann,\r\n" + block, "x" + block + "y"}) {
                    QVERIFY2(!containsStrongBlock(text), password.c_str());
                    QVERIFY(!strong::decryptText(text, password).found);
                }
                for (std::size_t i = kBeginMarker.size() + 72; i + 20 < block.size(); i += 72)
                    block.insert(i, "\r\n");
                QVERIFY(!containsStrongBlock(block));
                const Decryption r = cipher::decryptText(block, password);
                QCOMPARE(r.verdict, Verdict::Good);
                QCOMPARE(r.text, plain);
                ++read;
            }
        }
    }
    QVERIFY(read > 1700);
}

QTEST_APPLESS_MAIN(TestStrong)
#include "tst_strong.moc"
