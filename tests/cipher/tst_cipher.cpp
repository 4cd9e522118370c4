// The cipher core against a plain step-by-step model written from the
// algorithm's description, plus the block format's edge cases, the verdicts
// and the domain check.

#include "cipher/cipher.h"
#include "cipher/internal.h"
#include "tests/support/referencecipher.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace cipher;

namespace {

// Whether the begin marker occurs once every CR and LF is removed: what any
// block the scan cuts implies.
bool hasBeginMarker(BytesView text)
{
    return detail::withoutLineBreaks(text).find(kBeginMarker) != Bytes::npos;
}

std::string bytes(const QByteArray &a)
{
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

QByteArray qbytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string randomBytes(QRandomGenerator &random, std::size_t n, int low, int high)
{
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(random.bounded(low, high + 1));
    return s;
}

// Printable text with CR LF line breaks and no "P^": the cipher's domain.
std::string inDomainText(QRandomGenerator &random, std::size_t n)
{
    std::string s = randomBytes(random, n, 32, 127);
    for (std::size_t i = 0; i + 1 < s.size(); ++i) {
        if (random.bounded(12) == 0) {
            s[i] = '\r';
            s[i + 1] = '\n';
            ++i;
        } else if (s[i] == 'P' && s[i + 1] == '^') {
            s[i + 1] = '!';
        }
    }
    return s;
}

std::string normalisedBody(const std::string &block)
{
    const std::optional<SplitText> parts = splitText(block);
    return parts ? readBody(parts->body).normalised : std::string();
}

// A line break after every 70 characters of the body, as mail programs do.
std::string wrapBody(const std::string &block)
{
    const std::size_t from = kBeginMarker.size() + 2;
    const std::size_t to = block.size() - kEndMarker.size() - 2;
    std::string body = block.substr(from, to - from);
    std::string wrapped;
    for (std::size_t i = 0; i < body.size(); i += 70)
        wrapped += body.substr(i, 70) + "\r\n";
    return block.substr(0, from) + wrapped + block.substr(to);
}

const std::string kBegin(kBeginMarker);
const std::string kEnd(kEndMarker);

struct Found
{
    int kind = -1; // -1: none
    std::size_t offset = 0;
    std::size_t line = 0;
    std::size_t column = 0;
};

// The domain check's text rules one byte after another, the way they read:
// the model the fast scan is held to.
Found firstIssueStepwise(const std::string &s)
{
    std::vector<std::pair<std::size_t, std::size_t>> bodies;
    for (std::size_t from = 0;;) {
        const std::size_t begin = s.find(kBegin, from);
        const std::size_t end =
            begin == std::string::npos ? begin : s.find(kEnd, begin + kBegin.size());
        if (end == std::string::npos)
            break;
        bodies.emplace_back(begin + kBegin.size(), end);
        from = end + kEnd.size();
    }
    using K = DomainIssue::Kind;
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool next = i + 1 < s.size();
        K kind = K::ControlCharacter;
        if (c == 31 && std::any_of(bodies.begin(), bodies.end(), [i](const auto &b) {
                return b.first <= i && i < b.second;
            }))
            continue;
        if (c >= 32 && c < 128) {
            if (c != 'P' || !next || s[i + 1] != '^')
                continue;
            kind = K::EscapePair;
        } else if (c == '\r' && next && s[i + 1] == '\n') {
            lineStart = ++i + 1;
            ++line;
            continue;
        } else if (c == '\t') {
            kind = K::Tab;
        } else if (c == '\r') {
            kind = K::LoneCarriageReturn;
        } else if (c == '\n') {
            kind = K::LoneLineFeed;
        } else if (c >= 128) {
            kind = K::HighByte;
        }
        return {int(kind), i, line, i - lineStart + 1};
    }
    return {};
}

} // namespace

class TestCipher : public QObject
{
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
    void workedExamples();
    void blockIsByteExact_data();
    void blockIsByteExact();
    void foldedPassesMatchSteps();
    void transformMatchesModelOnAnyBytes();
    void roundTrip_data();
    void roundTrip();
    void roundTripProperty();
    void splitting_data();
    void splitting();
    void splitPartsRebuildText();
    void verdicts_data();
    void verdicts();
    void wrongPasswordsAreMostlyCaught();
    void nestedBlock();
    void shortBodies();
    void readField_data();
    void readField();
    void textDomain_data();
    void textDomain();
    void passwordDomain_data();
    void passwordDomain();
    void everyRefusalIsNeeded();
    void checksumTooLarge();
    void longestText();
    void checksumAtTheLimit();
    void fastScanMatchesStepwise();
    void inPlaceMatchesCopies();
    void endMarkerInEncryptedForm();
};

void TestCipher::steps_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("adding");
    QTest::addColumn<int>("result");
    QTest::newRow("a + b") << 97 << 98 << true << 99;
    QTest::newRow("c - b") << 99 << 98 << false << 97;
    QTest::newRow("~ + ~") << 126 << 126 << true << 60;
    QTest::newRow("< - ~") << 60 << 126 << false << 126;
    QTest::newRow("0 + O") << 48 << 79 << true << 31;
    QTest::newRow("31 - O") << 31 << 79 << false << 48;
    // Outside the domain the bytes count as signed values.
    QTest::newRow("224 + space gives 0") << 224 << 32 << true << 0;
    QTest::newRow("200 - 100") << 200 << 100 << false << 36; // -56 - 100 + 2 * 96
}

void TestCipher::steps()
{
    QFETCH(int, a);
    QFETCH(int, k);
    QFETCH(bool, adding);
    QFETCH(int, result);
    const auto ua = static_cast<unsigned char>(a);
    const auto uk = static_cast<unsigned char>(k);
    const unsigned char got = adding ? addStep(ua, uk) : subtractStep(ua, uk);
    QCOMPARE(static_cast<char>(got),
        adding ? reference::add(char(a), char(k)) : reference::subtract(char(a), char(k)));
    QCOMPARE(int(got), result);
}

void TestCipher::workedExamples()
{
    QCOMPARE(checksum("abc"), 294);
    QCOMPARE(checksumField(294), Bytes("0000000294"));
    QCOMPARE(checksumField(-123), Bytes("000000-123"));
    QCOMPARE(checksumField(0), Bytes("0000000000"));
    QCOMPARE(checksum(""), 0);
    QCOMPARE(checksum("\xE9"), -23);

    // "ab", a line break, "c": carried as a, b, P, ^, c behind the field.
    const Bytes password = "key";
    Bytes working = encipher("ab\r\nc", password, 1);
    QCOMPARE(working.size(), std::size_t(15));
    keyPassSubtract(working, password);
    QCOMPARE(working.substr(10), Bytes("abP^c"));

    // The field of "abc", with the checksum key taken off again.
    Bytes field = encipher("abc", password, 1).substr(0, 10);
    keyPassSubtract(field, password);
    keyPassSubtract(field, kChecksumKey);
    QCOMPARE(field, Bytes("0000000294"));

    // Blocks worked out apart from this code, written down once: a change of
    // the arithmetic or the format cannot pass unnoticed.
    const Bytes plain = "Meet me\r\nat noon.";
    const Bytes begin = "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n";
    const Bytes end = "\r\n[End_Encryption]";
    const Bytes bodies[3] = {
        "%_lgT2jGxCanly2-qYjz()ut!.:",
        "^hslfRvP$\\uws~DM}bv3<2|y3NF",
        "&qzqxr\"Y0u) z#Vm)k\"LP;#~EnR",
    };
    for (int level = 1; level <= 3; ++level) {
        const Bytes block = begin + bodies[level - 1] + end;
        QCOMPARE(encryptText(plain, "tiger lily", level), block);
        const Decryption back = decryptText(block, "tiger lily");
        QVERIFY(back.found);
        QCOMPARE(back.verdict, Verdict::Good);
        QCOMPARE(back.text, plain);
    }
}

void TestCipher::blockIsByteExact_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("level");
    const QByteArray text = "Dear Ann,\r\nthe key is under the mat ~ {see} [me] \x7f\r\n";
    QTest::newRow("level 1") << text << QByteArray("x") << 1;
    QTest::newRow("level 2") << text << QByteArray("Sesame") << 2;
    QTest::newRow("level 3") << text << QByteArray("~~ ~~ ~~ open") << 3;
    QTest::newRow("empty") << QByteArray() << QByteArray("password") << 3;
    QTest::newRow("only a line break") << QByteArray("\r\n") << QByteArray("pw") << 1;
}

void TestCipher::blockIsByteExact()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, password);
    QFETCH(int, level);
    const Bytes block = encryptText(bytes(plain), bytes(password), level);
    QCOMPARE(block, reference::block(bytes(plain), bytes(password), level));
    QCOMPARE(block.size(), std::size_t(plain.size()) + kBlockOverhead);
    QCOMPARE(block, writeBlock(level, encipher(bytes(plain), bytes(password), level)));
}

void TestCipher::foldedPassesMatchSteps()
{
    // The folded passes against the step-by-step ones: every byte value,
    // passwords in and out of 32..126, positions and lengths across key runs.
    QRandomGenerator random(7);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = random.bounded(round < 280 ? 600 : 12000);
        const std::string data = randomBytes(random, n, 0, 255);
        std::string password;
        switch (round % 4) {
        case 0:
            password = randomBytes(random, 1 + random.bounded(20), 32, 126);
            break;
        case 1:
            password = randomBytes(random, 1 + random.bounded(5000), 32, 126);
            break;
        case 2:
            password = randomBytes(random, 1 + random.bounded(20), 0, 255);
            break;
        default:
            password = randomBytes(random, 1 + random.bounded(3), 120, 126);
            break;
        }
        const std::size_t position = random.bounded(10000);
        for (int passes = 0; passes <= 3; ++passes) {
            std::string folded = data;
            std::string stepped = data;
            auto *f = reinterpret_cast<unsigned char *>(folded.data());
            auto *s = reinterpret_cast<unsigned char *>(stepped.data());
            detail::addPasses(f, n, position, password, passes);
            detail::addPassesStepwise(s, n, position, password, passes);
            QCOMPARE(folded, stepped);
            folded = stepped = data;
            detail::subtractPasses(f, n, position, password, passes);
            detail::subtractPassesStepwise(s, n, position, password, passes);
            QCOMPARE(folded, stepped);
        }
    }
}

void TestCipher::transformMatchesModelOnAnyBytes()
{
    QRandomGenerator random(11);
    for (int round = 0; round < 400; ++round) {
        const std::size_t n = random.bounded(round % 10 == 0 ? 9000 : 300);
        // Mostly printable with line breaks, sometimes any byte at all.
        std::string plain =
            round % 3 == 0 ? randomBytes(random, n, 0, 255) : inDomainText(random, n);
        if (round % 5 == 1 && n > 3)
            plain[n / 2] = static_cast<char>(random.bounded(128, 256));
        const std::string password = round % 4 == 3
            ? randomBytes(random, 1 + random.bounded(9), 0, 255)
            : randomBytes(random, 1 + random.bounded(30), 32, 126);
        const int level = 1 + round % 3;
        QCOMPARE(encryptText(plain, password, level), reference::block(plain, password, level));

        // Decipher any body at any level, the right password or not.
        std::string body = randomBytes(random, random.bounded(400), 0, 255);
        if (round % 2 == 0)
            body = normalisedBody(reference::block(plain, password, level));
        for (int readLevel = 0; readLevel <= 3; ++readLevel) {
            const Deciphered got = decipher(body, readLevel, password);
            const reference::Result expected = reference::decipher(body, readLevel, password);
            QCOMPARE(got.plain, expected.plain);
            QCOMPARE(got.verdict, expected.verdict);
        }
    }
}

void TestCipher::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("level");
    QByteArray longText;
    for (int i = 0; i < 300; ++i)
        longText +=
            "Line " + QByteArray::number(i) + " of a long letter, with {braces} & `ticks`.\r\n";
    for (int level = 1; level <= 3; ++level) {
        const QByteArray l = " level " + QByteArray::number(level);
        QTest::newRow(("one character" + l).constData())
            << QByteArray("x") << QByteArray("password") << level;
        QTest::newRow(("lines" + l).constData())
            << QByteArray("first\r\nsecond\r\n\r\nfourth") << QByteArray("p@ss w0rd!") << level;
        QTest::newRow(("line breaks at the edges" + l).constData())
            << QByteArray("\r\nmiddle\r\n") << QByteArray("12345678") << level;
        QTest::newRow(("DEL and space" + l).constData())
            << QByteArray("\x7f \x7f~") << QByteArray("~~~~~~~~") << level;
        QTest::newRow(("long" + l).constData())
            << longText << QByteArray("a much longer password than usual") << level;
        QTest::newRow(("empty" + l).constData()) << QByteArray() << QByteArray("password") << level;
    }
}

void TestCipher::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, password);
    QFETCH(int, level);
    const Bytes block = encryptText(bytes(plain), bytes(password), level);
    const std::string before = "Forwarded message:\r\n> quoted [text]\r\n";
    const std::string after = "\r\n-- \r\nsignature [End_Encryption] stays\r\n";
    for (const Bytes &b : {block, wrapBody(block)}) {
        const Decryption d = decryptText(before + b + after, bytes(password));
        QVERIFY(d.found);
        QCOMPARE(d.verdict, Verdict::Good);
        QCOMPARE(d.text, before + bytes(plain) + after);
        const Decryption alone = decryptText(b, bytes(password));
        QCOMPARE(alone.verdict, Verdict::Good);
        QCOMPARE(alone.text, bytes(plain));
    }
}

void TestCipher::roundTripProperty()
{
    // Whatever the domain check lets through comes back exactly.
    QRandomGenerator random(3);
    for (int round = 0; round < 600; ++round) {
        const std::string plain =
            inDomainText(random, random.bounded(round % 50 == 0 ? 20000 : 200));
        const int level = 1 + round % 3;
        const std::string password =
            randomBytes(random, minimumPasswordLength(level) + random.bounded(12), 32, 126);
        QVERIFY(!checkPlainText(plain));
        QVERIFY(!checkPassword(password));
        const std::string block = encryptText(plain, password, level);
        QVERIFY(!checkBlock(block));
        const Decryption d = decryptText(wrapBody(block), password);
        QCOMPARE(d.verdict, Verdict::Good);
        QCOMPARE(d.text, plain);
    }
}

void TestCipher::splitting_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("signature");
    QTest::addColumn<bool>("split");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("after");
    const QByteArray begin = qbytes(kBegin);
    const QByteArray end = qbytes(kEnd);
    const QByteArray body = "\r\n%123456789abc\r\n";

    QTest::newRow("block alone") << begin + body + end << true << true << QByteArray() << body
                                 << QByteArray();
    QTest::newRow("text around") << "a\r\nb" + begin + body + end + "c\r\n"
                                 << true << true << QByteArray("a\r\nb") << body
                                 << QByteArray("c\r\n");
    QTest::newRow("one extra [ in front")
        << "[" + begin + body + end << true << true << QByteArray("[") << body << QByteArray();
    QTest::newRow("no marker") << QByteArray("just text [End_Encryption]") << false << false
                               << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("empty text") << QByteArray() << false << false << QByteArray() << QByteArray()
                                << QByteArray();
    QTest::newRow("line break inside the begin marker")
        << "[Encrypted_By_Velmor\r\nandquist][Begin_Encryption]" + body + end << true << false
        << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("marker the restart matcher misses")
        << "[Encrypted_By_Velmorandquist]" + begin + body + end << true << false << QByteArray()
        << QByteArray() << QByteArray();
    QTest::newRow("end marker before the begin marker")
        << "x" + end + "y" + begin + body + end + "z" << true << true << "x" + end + "y" << body
        << QByteArray("z");
    QTest::newRow("second block stays in the after-text")
        << begin + body + end + "mid" + begin + "\r\n%other\r\n" + end << true << true
        << QByteArray() << body << "mid" + begin + "\r\n%other\r\n" + end;
    QTest::newRow("second begin marker inside the body")
        << begin + "\r\n%ab" + begin + "cd\r\n" + end + "!" << true << true << QByteArray()
        << "\r\n%ab" + begin + "cd\r\n"
        << QByteArray("!");
    QTest::newRow("end marker missing")
        << "pre" + begin + body << true << true << QByteArray("pre") << body << QByteArray();
    QTest::newRow("end marker cut short")
        << "pre" + begin + body + "[End_Encryption" << true << true << QByteArray("pre")
        << body + "[End_Encryption" << QByteArray();
    QTest::newRow("begin marker ends the text")
        << "text " + begin << true << true << "text " + begin << QByteArray() << QByteArray();
    QTest::newRow("end marker right after the begin marker")
        << begin + end + "tail" << true << true << QByteArray() << QByteArray()
        << QByteArray("tail");
    QTest::newRow("zero bytes are ordinary")
        << QByteArray("a\0b", 3) + begin + QByteArray("\0%\0", 3) + end + QByteArray("\0", 1)
        << true << true << QByteArray("a\0b", 3) << QByteArray("\0%\0", 3) << QByteArray("\0", 1);
}

void TestCipher::splitting()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, signature);
    QFETCH(bool, split);
    QCOMPARE(hasBeginMarker(bytes(text)), signature);
    const std::optional<SplitText> parts = splitText(bytes(text));
    QCOMPARE(parts.has_value(), split);
    if (!split) {
        const Decryption d = decryptText(bytes(text), "password");
        QVERIFY(!d.found);
        return;
    }
    QTEST(qbytes(parts->before), "before");
    QTEST(qbytes(parts->body), "body");
    QTEST(qbytes(parts->after), "after");
}

void TestCipher::splitPartsRebuildText()
{
    // The parts always put the text back together around the markers.
    QRandomGenerator random(5);
    const std::string pieces[] = {
        kBegin, kEnd, "[", "]", "\r\n", "[Encrypted_By_", "[End_", "x", "%ab"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = random.bounded(8);
        for (int i = 0; i < count; ++i)
            text += pieces[random.bounded(int(std::size(pieces)))];
        const std::optional<SplitText> p = splitText(text);
        if (!p) {
            QVERIFY(hasBeginMarker(text) || text.find(kBegin) == std::string::npos);
            continue;
        }
        const bool atEnd = p->before == text && p->body.empty() && p->after.empty();
        const bool closed = text == p->before + kBegin + p->body + kEnd + p->after;
        const bool open = p->after.empty() && text == p->before + kBegin + p->body;
        QVERIFY2(atEnd || closed || open, text.c_str());
        QVERIFY(p->body.find(kEnd) == std::string::npos);
    }
}

void TestCipher::verdicts_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QByteArray>("comesBack");
    QTest::newRow("good") << QByteArray("hello") << int(Verdict::Good) << QByteArray("hello");
    QTest::newRow("empty text is good") << QByteArray() << int(Verdict::Good) << QByteArray();
    QTest::newRow("P^ comes back as a line break")
        << QByteArray("aP^b") << int(Verdict::ChecksumError) << QByteArray("a\r\nb");
    QTest::newRow("P^ first") << QByteArray("P^") << int(Verdict::ChecksumError)
                              << QByteArray("\r\n");
    QTest::newRow("tab comes back as i")
        << QByteArray("a\tb") << int(Verdict::ChecksumError) << QByteArray("aib");
    QTest::newRow("lone LF comes back as j")
        << QByteArray("a\nb") << int(Verdict::ChecksumError) << QByteArray("ajb");
    QTest::newRow("lone CR comes back as m")
        << QByteArray("a\rb") << int(Verdict::ChecksumError) << QByteArray("amb");
    // Negative sums write "0000000-23" and so on, which reads as 0.
    QTest::newRow("negative checksum")
        << QByteArray("\xE9") << int(Verdict::WrongPassword) << QByteArray();
}

void TestCipher::verdicts()
{
    QFETCH(QByteArray, plain);
    QFETCH(int, verdict);
    QFETCH(QByteArray, comesBack);
    for (int level = 1; level <= 3; ++level) {
        const Bytes password = "password";
        const Decryption d = decryptText(encryptText(bytes(plain), password, level), password);
        QVERIFY(d.found);
        QCOMPARE(int(d.verdict), verdict);
        if (!comesBack.isEmpty() || verdict == int(Verdict::Good))
            QCOMPARE(qbytes(d.text), comesBack);
    }
    // The empty text's block is 77 bytes, with 10 enciphered characters.
    if (plain.isEmpty())
        QCOMPARE(
            readBody(splitText(encryptText("", "pw", 1))->body).normalised.size(), std::size_t(10));
}

void TestCipher::wrongPasswordsAreMostlyCaught()
{
    QRandomGenerator random(9);
    int wrong = 0;
    int checksumErrors = 0;
    const int rounds = 600;
    for (int round = 0; round < rounds; ++round) {
        const std::string plain = inDomainText(random, 5 + random.bounded(200));
        const int level = 1 + round % 3;
        const std::string block = encryptText(plain, "the right one", level);
        const std::string guess = randomBytes(random, 8 + random.bounded(5), 32, 126);
        const Decryption d = decryptText(block, guess);
        QVERIFY(d.verdict != Verdict::Good);
        QVERIFY(d.found);
        (d.verdict == Verdict::WrongPassword ? wrong : checksumErrors)++;
    }
    // About nine in ten read as a wrong password, the rest as a checksum error.
    QVERIFY2(wrong > rounds * 3 / 4, qPrintable(QString::number(wrong)));
    QVERIFY(checksumErrors > 0);
}

void TestCipher::nestedBlock()
{
    const std::string inner = encryptText("secret\r\ntext", "innerpass", 2);
    const std::string outer = encryptText("Note:\r\n" + inner, "outerpass", 1);
    const Decryption first = decryptText(outer, "outerpass");
    QVERIFY(first.found);
    // The inner block's 31s come back as 127: usually a checksum error.
    const Decryption second = decryptText(first.text, "innerpass");
    QVERIFY(second.found);
    QCOMPARE(second.verdict, Verdict::Good);
    QCOMPARE(second.text, std::string("Note:\r\nsecret\r\ntext"));
}

void TestCipher::shortBodies()
{
    // Bodies shorter than the field: no reading past the end, wrong password.
    const std::string source = normalisedBody(encryptText("hello world", "pw", 3));
    for (std::size_t n = 0; n < 10; ++n) {
        const std::string body = source.substr(0, n);
        const Deciphered d = decipher(body, 3, "pw");
        QCOMPARE(d.verdict, Verdict::WrongPassword);
        QVERIFY(d.plain.empty());
        const Decryption t = decryptText(kBegin + "\r\n" + body + "\r\n" + kEnd + "after", "pw");
        QCOMPARE(t.verdict, Verdict::WrongPassword);
        QCOMPARE(t.text, std::string("after"));
    }
    // A level mark that is none of "%^&" undoes no password pass.
    QCOMPARE(readBody("\r\n#abc\r\n").level, 0);
    QCOMPARE(readBody("\r\n&abc").level, 3);
    QCOMPARE(readBody("").level, 0);
    // An empty password cannot undo passes, whatever the block says.
    QCOMPARE(decipher(source, 3, "").verdict, Verdict::WrongPassword);
}

void TestCipher::readField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addRow("digits") << QByteArray("0000000294");
    QTest::addRow("negative") << QByteArray("000000-123");
    QTest::addRow("white space and sign") << QByteArray(" \t-42x1234");
    QTest::addRow("plus") << QByteArray("+7abcdefgh");
    QTest::addRow("no digits") << QByteArray("abcdefghij");
    QTest::addRow("digits stop at a letter") << QByteArray("0012a45678");
    QTest::addRow("line break") << QByteArray("012\r\n56789");
    QTest::addRow("short") << QByteArray("0123");
}

void TestCipher::readField()
{
    QFETCH(QByteArray, field);
    const auto expected = std::int64_t(std::strtol(field.constData(), nullptr, 10));
    QCOMPARE(detail::readField(bytes(field)), expected);
    // Only the ten characters take part, never the digits after them.
    if (field.size() == 10)
        QCOMPARE(detail::readField(bytes(field + "99999")), expected);
}

void TestCipher::textDomain_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kind"); // -1: in the domain
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("description");
    using K = DomainIssue::Kind;
    QTest::newRow("plain") << QByteArray("Hello\r\nWorld ~\x7f") << -1 << 0 << 0 << 0 << QString();
    QTest::newRow("empty") << QByteArray() << -1 << 0 << 0 << 0 << QString();
    QTest::newRow("tab") << QByteArray("a\r\nb\r\ncdefgh\tx") << int(K::Tab) << 12 << 3 << 7
                         << QStringLiteral("a tab at line 3, column 7");
    QTest::newRow("lone LF") << QByteArray("abc\ndef") << int(K::LoneLineFeed) << 3 << 1 << 4
                             << QStringLiteral(
                                    "a line feed without a carriage return at line 1, column 4");
    QTest::newRow("lone CR") << QByteArray("ab\r\r\n") << int(K::LoneCarriageReturn) << 2 << 1 << 3
                             << QStringLiteral(
                                    "a carriage return without a line feed at line 1, column 3");
    QTest::newRow("CR at the end")
        << QByteArray("ab\r") << int(K::LoneCarriageReturn) << 2 << 1 << 3
        << QStringLiteral("a carriage return without a line feed at line 1, column 3");
    QTest::newRow("LF CR") << QByteArray("\n\r") << int(K::LoneLineFeed) << 0 << 1 << 1
                           << QStringLiteral(
                                  "a line feed without a carriage return at line 1, column 1");
    QTest::newRow("high byte") << QByteArray("abc\r\n\xE9t\xE9") << int(K::HighByte) << 5 << 2 << 1
                               << QStringLiteral("the character 0xE9 at line 2, column 1");
    QTest::newRow("zero byte") << QByteArray("ab\0", 3) << int(K::ControlCharacter) << 2 << 1 << 3
                               << QStringLiteral("the control character 0x00 at line 1, column 3");
    QTest::newRow("escape pair") << QByteArray("abcdP^") << int(K::EscapePair) << 4 << 1 << 5
                                 << QStringLiteral("the pair \"P^\" at line 1, column 5");
    QTest::newRow("P then line break is fine")
        << QByteArray("P\r\n^") << -1 << 0 << 0 << 0 << QString();
    QTest::newRow("first by offset") << QByteArray("xP^\t\xE9") << int(K::EscapePair) << 1 << 1 << 2
                                     << QStringLiteral("the pair \"P^\" at line 1, column 2");
    const QByteArray begin(kBeginMarker.data(), qsizetype(kBeginMarker.size()));
    const QByteArray end(kEndMarker.data(), qsizetype(kEndMarker.size()));
    QTest::newRow("31 in a quoted block's body") << QByteArray("> " + begin
        + "\r\n&a\x1f"
          "b\r\n"
        + end + " ok") << -1 << 0 << 0 << 0 << QString();
    QTest::newRow("31 after the block")
        << QByteArray(begin + "a\x1f" + end + "\x1f") << int(K::ControlCharacter) << 65 << 1 << 66
        << QStringLiteral("the control character 0x1F at line 1, column 66");
    QTest::newRow("31 with no end marker")
        << QByteArray(begin + "a\x1f") << int(K::ControlCharacter) << 48 << 1 << 49
        << QStringLiteral("the control character 0x1F at line 1, column 49");
    QTest::newRow("high bytes sum below 0")
        << QByteArray("\xFF") << int(K::HighByte) << 0 << 1 << 1
        << QStringLiteral("the character 0xFF at line 1, column 1");
}

void TestCipher::textDomain()
{
    QFETCH(QByteArray, text);
    QFETCH(int, kind);
    const std::optional<DomainIssue> issue = cipher::checkPlainText(bytes(text));
    QCOMPARE(issue.has_value(), kind >= 0);
    if (!issue)
        return;
    QCOMPARE(int(issue->kind), kind);
    QTEST(int(issue->offset), "offset");
    QTEST(int(issue->line), "line");
    QTEST(int(issue->column), "column");
    QCOMPARE(issue->byte, static_cast<unsigned char>(text.at(issue->offset)));
    QTEST(QString::fromStdString(issue->describe()), "description");
}

void TestCipher::passwordDomain_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("position"); // 0: fine
    QTest::newRow("printable") << QByteArray(" !~azAZ09") << 0;
    QTest::newRow("empty is for the commands") << QByteArray() << 0;
    QTest::newRow("DEL") << QByteArray("ab\x7f") << 3;
    QTest::newRow("tab") << QByteArray("\tab") << 1;
    QTest::newRow("high byte") << QByteArray("abcd\xE9") << 5;
}

void TestCipher::passwordDomain()
{
    QFETCH(QByteArray, password);
    QFETCH(int, position);
    const std::optional<DomainIssue> issue = cipher::checkPassword(bytes(password));
    QCOMPARE(issue.has_value(), position > 0);
    if (!issue)
        return;
    QCOMPARE(issue->kind, DomainIssue::Kind::PasswordCharacter);
    QCOMPARE(int(issue->column), position);
    QCOMPARE(int(issue->line), 1);
    QCOMPARE(issue->describe(),
        "a password character outside 32 to 126 at position " + std::to_string(position));
}

void TestCipher::everyRefusalIsNeeded()
{
    // Each kind the check names really fails to come back, wherever it sits.
    QRandomGenerator random(13);
    const std::string offenders[] = {
        "\t", "\r", "\n", "\x01", "\x1f", "\x80", "\xE9", "\xFF", "P^", std::string(1, '\0')};
    for (int round = 0; round < 500; ++round) {
        std::string plain = inDomainText(random, 1 + random.bounded(120));
        const std::string &bad = offenders[round % std::size(offenders)];
        std::size_t at = random.bounded(int(plain.size()) + 1);
        // Keep CR LF pairs whole around the insertion point.
        if (at > 0 && at < plain.size() && plain[at - 1] == '\r')
            ++at;
        plain.insert(at, bad);
        const std::optional<DomainIssue> issue = checkPlainText(plain);
        QVERIFY(issue);
        const int level = 1 + round % 3;
        const std::string password = randomBytes(random, 8, 32, 126);
        const Decryption d = decryptText(encryptText(plain, password, level), password);
        QVERIFY2(d.verdict != Verdict::Good || d.text != plain,
            qPrintable(QByteArray::fromStdString(plain).toHex()));
    }
    // A password byte that makes a line break in the body shifts every key position.
    const std::string plain = "some text to carry";
    const std::string password(1, static_cast<char>(13 - 'o'));
    QVERIFY(checkPassword(password));
    const Decryption d = decryptText(encryptText(plain, password, 1), password);
    QVERIFY(d.verdict != Verdict::Good || d.text != plain);
}

void TestCipher::checksumTooLarge()
{
    // 8,000,000 tildes sum past 999,999,999: the field's first digit is lost.
    const std::string plain(8'000'000, '~');
    const std::optional<DomainIssue> issue = checkPlainText(plain);
    QVERIFY(issue);
    QCOMPARE(issue->kind, DomainIssue::Kind::ChecksumTooLarge);
    QCOMPARE(issue->line, std::size_t(0));
    QCOMPARE(issue->describe(),
        std::string("a checksum too large for the block (the text is too long)"));
    const Decryption d = decryptText(encryptText(plain, "password", 1), "password");
    QCOMPARE(d.verdict, Verdict::ChecksumError);
    // Just below the limit it still comes back.
    const std::string fits(999'999'999 / 126, '~');
    QVERIFY(!checkPlainText(fits));
    QCOMPARE(decryptText(encryptText(fits, "password", 1), "password").verdict, Verdict::Good);
    // A sum of -1,000,000,000 or less: the block keeps its shape, n + 77.
    const std::string low(8'000'000, '\x80');
    QCOMPARE(checkPlainText(low)->kind, DomainIssue::Kind::HighByte);
    const std::string lowBlock = encryptText(low, "password", 2);
    QCOMPARE(lowBlock.size(), low.size() + kBlockOverhead);
    QVERIFY(decryptText(lowBlock, "password").verdict != Verdict::Good);
}

void TestCipher::longestText()
{
    // Line breaks are the cheapest bytes: this many of them still fit the
    // checksum, and no text of one byte more does.
    std::string pairs(kMaxPlainTextLength, '\n');
    for (std::size_t i = 0; i < pairs.size(); i += 2)
        pairs[i] = '\r';
    QVERIFY(!checkPlainText(pairs));
    for (const char more : {' ', '\x1f'}) {
        pairs.push_back(more);
        QCOMPARE(checkPlainText(pairs)->kind,
            more == ' ' ? DomainIssue::Kind::ChecksumTooLarge
                        : DomainIssue::Kind::ControlCharacter);
        pairs.pop_back();
    }
}

void TestCipher::checksumAtTheLimit()
{
    // The check adds the sum up as it scans, stretch by stretch; it must be
    // right to the unit: line breaks across stretch edges, quoted 31s and all.
    QRandomGenerator random(29);
    std::string text = inDomainText(random, 3'000'000);
    // A mailed quote: 31s and line breaks all through its body.
    std::string quoted = wrapBody(encryptText(inDomainText(random, 60000), "pw", 1));
    QVERIFY(quoted.find('\x1f') != std::string::npos);
    for (std::size_t at = quoted.find("P^"); at != std::string::npos; at = quoted.find("P^", at))
        quoted[at + 1] = '_'; // a pair no text can carry, in a block or not
    text.insert(text.size() / 2, "\r\n" + quoted + "\r\n");
    // A stretch ending on the CR of a pair whose LF opens one with a 31 in it.
    text.insert(0, std::string(256 - kBegin.size() - 1, 'x') + kBegin + "\r\n\x1f" + kEnd);
    std::string folded = text;
    foldBlockBodies(folded);
    const std::int64_t rest = 999'999'999 - std::int64_t(checksum(folded));
    const std::int64_t tildes = (rest - 64) / 126;
    const std::int64_t last = rest - 126 * tildes; // 64 to 189: two bytes of 32 to 95
    text.append(std::size_t(tildes), '~');
    text += char(last / 2);
    text += char(last - last / 2);
    QVERIFY(!checkPlainText(text));
    ++text.back();
    QCOMPARE(checkPlainText(text)->kind, DomainIssue::Kind::ChecksumTooLarge);
}

void TestCipher::fastScanMatchesStepwise()
{
    // Offenders anywhere, most of all at the edges of the stretches the scan
    // takes at once (64 bytes): it names the same first one at the same line
    // and column as the byte-by-byte rules.
    QRandomGenerator random(19);
    const std::string offenders[] = {"\t", "\r", "\n", "\x1f", "\x00", "\x80", "\xFF", "P^", "\r\n",
        "\n\r", "P", "^", "\x7f", kBegin, kEnd};
    for (int round = 0; round < 4000; ++round) {
        std::string text = inDomainText(random, random.bounded(round % 20 == 0 ? 3000 : 400));
        if (round % 3 == 0) {
            // A quoted block: its body holds 31s, which are fine there only.
            std::string quoted = encryptText(inDomainText(random, random.bounded(300)), "pw", 2);
            quoted[quoted.size() / 2] = '\x1f';
            text.insert(random.bounded(int(text.size()) + 1), quoted);
        }
        for (int n = random.bounded(3); n > 0; --n) {
            const std::string &bad = offenders[random.bounded(int(std::size(offenders)))];
            const std::size_t edge = 64 * random.bounded(int(text.size() / 64) + 1);
            const std::size_t at = std::min(text.size(),
                round % 2 ? edge + random.bounded(3) - 1 : random.bounded(int(text.size()) + 1));
            text.insert(at, bad);
        }
        const Found expected = firstIssueStepwise(text);
        const std::optional<DomainIssue> issue = checkPlainText(text);
        QCOMPARE(issue ? int(issue->kind) : -1, expected.kind);
        // Checking and folding at once folds what folding alone does.
        std::string roomy = "(room)" + text;
        QCOMPARE(bool(checkAndFold(roomy, 6)), bool(issue));
        std::string folded = "(room)" + text;
        if (!issue)
            foldBlockBodies(folded);
        QCOMPARE(roomy, folded);
        if (!issue)
            continue;
        QCOMPARE(issue->offset, expected.offset);
        QCOMPARE(issue->line, expected.line);
        QCOMPARE(issue->column, expected.column);
        QCOMPARE(issue->byte, static_cast<unsigned char>(text[issue->offset]));
    }
}

void TestCipher::inPlaceMatchesCopies()
{
    // The in-place roads give what the copying ones give, for any bytes and
    // any password, and decrypting cuts the text exactly as the parts say.
    QRandomGenerator random(23);
    for (int round = 0; round < 1500; ++round) {
        const int level = 1 + round % 3;
        const std::string password = round % 5 == 4
            ? randomBytes(random, 1 + random.bounded(6), 0, 255)
            : randomBytes(random, 1 + random.bounded(20), 32, 126);
        const std::string plain = round % 4 == 0
            ? randomBytes(random, random.bounded(300), 0, 255)
            : inDomainText(random, random.bounded(round % 100 == 0 ? 20000 : 300));
        std::string block = plain;
        encryptInPlace(block, password, level);
        QCOMPARE(block, encryptText(plain, password, level));
        std::string roomy = std::string(kBlockHead, '?') + plain;
        encryptAfterRoom(roomy, password, level);
        QCOMPARE(roomy, block);

        const std::string pieces[] = {
            kBegin, kEnd, "[", "\r\n", "\n", "P", "^", "x", "[End_", wrapBody(block), block};
        std::string text;
        for (int i = random.bounded(6); i > 0; --i)
            text += pieces[random.bounded(int(std::size(pieces)))];
        const std::string guess = round % 3 == 0 ? std::string("wrong") : password;
        std::string work = text;
        const Decryption got = decryptInPlace(work, guess);
        const std::optional<SplitText> parts = splitText(text);
        QCOMPARE(got.found, parts.has_value());
        QVERIFY(got.text.empty());
        if (!parts) {
            QCOMPARE(work, text);
            continue;
        }
        QVERIFY(hasBeginMarker(text));
        const Body body = readBody(parts->body);
        const Deciphered d = decipher(body.normalised, body.level, guess);
        QCOMPARE(got.verdict, d.verdict);
        QCOMPARE(work, parts->before + d.plain + parts->after);
    }
}

void TestCipher::endMarkerInEncryptedForm()
{
    // Key characters that are 0 modulo 96 once multiplied by the level leave
    // the text as it is, end marker and all: such a block cannot be read back.
    const std::string plain = "see " + kEnd + " here";
    const std::pair<int, std::string> weak[] = {
        {1, "`"}, {2, "00000"}, {3, "        "}, {3, "@@@@@@@@"}};
    for (const auto &[level, password] : weak) {
        const std::string block = encryptText(plain, password, level);
        QVERIFY(block.find(kEnd) < block.size() - kEnd.size());
        const std::optional<DomainIssue> issue = checkBlock(block);
        QVERIFY(issue);
        QCOMPARE(issue->kind, DomainIssue::Kind::EndMarkerInBlock);
        QCOMPARE(issue->describe(),
            std::string("the end marker \"[End_Encryption]\" in its encrypted "
                        "form (another password avoids this)"));
        QVERIFY(decryptText(block, password).text != plain);
        // Another password carries the same text.
        const std::string other = encryptText(plain, "Another password", level);
        QVERIFY(!checkBlock(other));
        QCOMPARE(decryptText(other, "Another password").text, plain);
    }
    QVERIFY(checkBlock("not a block"));
    QVERIFY(!checkBlock(writeBlock(1, "")));
}

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
