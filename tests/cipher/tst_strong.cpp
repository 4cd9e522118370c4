// The strong level: its block format frozen by known answers, round trips
// through mail-style re-wrapping, the verdicts for every kind of damage, and
// how the legacy reader meets a level 4 block.

#include "cipher/cipher.h"
#include "cipher/strong.h"

#include <QElapsedTimer>
#include <QTest>

#include <cctype>
#include <sodium.h>

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

// Written once by this code with libsodium 1.0.18 and frozen: any change of
// the format, the derivation or the library's output shows here.
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

} // namespace

class TestStrong : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswers_data();
    void knownAnswers();
    void blockShape();
    void roundTrips();
    void everySingleChangedCharacterIsDamage();
    void wrongPassword();
    void truncatedAndOverlong();
    void hostileParametersRefusedBeforeAllocation();
    void legacyReaderRefusesHarmlessly();
    void onlyMarkFourTakesTheStrongRoad();
};

void TestStrong::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("empty") << QByteArray() << QByteArray(kKnownEmpty);
    QTest::newRow("unicode") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                           "e\tand \xe2\x82\xac\r\nline\nend\r")
                             << QByteArray(kKnownUnicode);
}

void TestStrong::knownAnswers()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, block);
    const BytesView plainView(plain.constData(), std::size_t(plain.size()));
    const Bytes written = knownBlock(plainView);
    QCOMPARE(QByteArray::fromStdString(written), block);
    const Decryption back = strong::decryptText(written, kPassword);
    QVERIFY(back.found);
    QCOMPARE(back.verdict, Verdict::Good);
    QCOMPARE(back.text, Bytes(plainView));
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

QTEST_APPLESS_MAIN(TestStrong)
#include "tst_strong.moc"
