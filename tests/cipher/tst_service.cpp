// The encryption service as its callers see it: which blocks a text holds,
// each verdict of encrypt and decrypt with what is left of the text, and
// the words and exit status the one table gives every verdict.

#include "cipher/service.h"
#include "cipher/strong.h"

#include <QTest>

#include <tuple>

using cipher::Bytes;
using cipher::BytesView;
using cipher::kBeginMarker;
using cipher::kEndMarker;
namespace strong = cipher::strong;
using namespace cipher::service;

namespace {

// Small Argon2 parameters, so a strong block costs no measurable time.
Bytes strongBlock(BytesView plain, BytesView password)
{
    return strong::detail::encryptWith(plain, password, {1, 8u << 10}, {}, {});
}

Bytes legacyBlock(BytesView plain, BytesView password, int level)
{
    Bytes text(plain);
    const Result r = encrypt(text, level, password, password);
    if (!r.replaced)
        qFatal("the legacy block was refused");
    return text;
}

} // namespace

class TestService : public QObject
{
    Q_OBJECT
private slots:
    void findsEveryBlockWithItsKind()
    {
        const Bytes legacy = legacyBlock("one", "password", 2);
        const Bytes strong = strongBlock("two", "a long passphrase");
        const Bytes unmarked = Bytes(kBeginMarker) + "\r\nno mark\r\n" + Bytes(kEndMarker);
        const Bytes open = Bytes(kBeginMarker) + "\r\n%runs to the end";
        const Bytes text =
            "Hi,\r\n" + legacy + "\r\n> " + strong + " and " + unmarked + "\r\n" + open;
        const std::vector<Found> found = find(text);
        QCOMPARE(found.size(), std::size_t(4));
        const struct
        {
            Kind kind;
            int level;
            const Bytes &block;
        } expected[] = {{Kind::Legacy, 2, legacy}, {Kind::Strong, 4, strong},
            {Kind::Legacy, 0, unmarked}, {Kind::Legacy, 1, open}};
        for (std::size_t i = 0; i < found.size(); ++i) {
            QCOMPARE(found[i].kind, expected[i].kind);
            QCOMPARE(found[i].level, expected[i].level);
            QCOMPARE(text.substr(found[i].begin, found[i].end - found[i].begin), expected[i].block);
        }
        QVERIFY(find("no block [Encrypted_By_Velmorandquist]\r\n[Begin_Encryption]").empty());
        // A begin marker that ends the text is a block of its own, the marker.
        const std::vector<Found> last = find("text " + Bytes(kBeginMarker));
        QCOMPARE(last.size(), std::size_t(1));
        QCOMPARE(last[0].begin, std::size_t(5));
        QCOMPARE(last[0].end, 5 + kBeginMarker.size());
        QCOMPARE(encodingForDecrypting(text), Encoding::EightBit); // by its first block
        QCOMPARE(encodingForDecrypting("x " + strong), Encoding::Utf8);
    }

    // Armor as mail leaves it: where each block lies and what quote it
    // carries (the armor's inside is GnuPG's, so any text stands in here).
    void findsOpenPgpArmor()
    {
        const Bytes pgp = "-----BEGIN PGP MESSAGE-----\n\nhQEMA\n=ab\n-----END PGP MESSAGE-----";
        const Bytes ours = strongBlock("x", "a long passphrase");
        const auto quote = [](Bytes text, const Bytes &prefix, const Bytes &empty) {
            Bytes out = prefix;
            for (char c : text)
                out += c == '\n' ? "\n" + prefix : Bytes(1, c);
            // An empty line quoted without the prefix's trailing blank.
            for (std::size_t at; prefix != empty && (at = out.find("\n" + prefix + "\n")) != Bytes::npos;)
                out.replace(at, prefix.size() + 2, "\n" + empty + "\n");
            return out;
        };
        const struct
        {
            const char *name;
            Bytes text;
            std::vector<std::tuple<Kind, Bytes, Bytes>> blocks; // kind, block, quote
        } cases[] = {
            {"alone", pgp, {{Kind::OpenPgp, pgp, ""}}},
            {"quoted", "Hi\n" + quote(pgp, "> ", ">") + "\nBye",
                {{Kind::OpenPgp, quote(pgp, "> ", ">"), "> "}}},
            {"quoted twice, CR LF", "x\r\n" + quote(pgp, "> > ", "> >") + "\r\n",
                {{Kind::OpenPgp, quote(pgp, "> > ", "> >"), "> > "}}},
            {"quoted tight", quote(pgp, ">", ">"), {{Kind::OpenPgp, quote(pgp, ">", ">"), ">"}}},
            {"inside prose", "See: " + pgp + " thanks", {{Kind::OpenPgp, pgp, ""}}},
            {"ours between two", pgp + "\n" + ours + "\n" + pgp,
                {{Kind::OpenPgp, pgp, ""}, {Kind::Strong, ours, ""}, {Kind::OpenPgp, pgp, ""}}},
            // The quote ends, and so does the block, without its end line.
            {"quote broken off", "> -----BEGIN PGP MESSAGE-----\n> abc\nreply",
                {{Kind::OpenPgp, "> -----BEGIN PGP MESSAGE-----\n> abc", "> "}}},
            {"no end line", "-----BEGIN PGP MESSAGE-----\nabc\n",
                {{Kind::OpenPgp, "-----BEGIN PGP MESSAGE-----\nabc", ""}}},
            {"marker with more on its line", "-----BEGIN PGP MESSAGE-----s\n", {}},
            {"a signed text is no message", "-----BEGIN PGP SIGNED MESSAGE-----\n", {}},
            // Inside an open block of ours, which takes the rest.
            {"inside ours", Bytes(cipher::kBeginMarker) + "\r\n%" + pgp,
                {{Kind::Legacy, Bytes(cipher::kBeginMarker) + "\r\n%" + pgp, ""}}},
        };
        for (const auto &c : cases) {
            const std::vector<Found> found = find(c.text);
            QVERIFY2(found.size() == c.blocks.size(), c.name);
            for (std::size_t i = 0; i < found.size(); ++i) {
                const auto &[kind, block, quoted] = c.blocks[i];
                QVERIFY2(found[i].kind == kind, c.name);
                QCOMPARE(c.text.substr(found[i].begin, found[i].end - found[i].begin), block);
                QCOMPARE(found[i].quote, quoted);
            }
        }
        QCOMPARE(encodingForDecrypting(pgp + ours), Encoding::Utf8);
        QCOMPARE(encodingFor(kOpenPgpPassword), Encoding::Utf8);
    }

    void encryptTellsWhatItRefuses_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("confirmation");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("verdicts");
        QTest::addColumn<QByteArray>("what");
        const auto v = [](std::initializer_list<Verdict> list) {
            QList<int> out;
            for (Verdict x : list)
                out << int(x);
            return out;
        };
        QTest::newRow("empty and differing, both")
            << 1 << QByteArray() << QByteArray("x") << QByteArray("t")
            << v({Verdict::EmptyPassword, Verdict::PasswordsDiffer}) << QByteArray();
        QTest::newRow("short for level 3")
            << 3 << QByteArray("seven77") << QByteArray("seven77") << QByteArray("t")
            << v({Verdict::PasswordTooShort}) << QByteArray();
        QTest::newRow("tab in the password")
            << 1 << QByteArray("a\tb") << QByteArray("a\tb") << QByteArray("t")
            << v({Verdict::PasswordCharacter})
            << QByteArray("a password character outside 32 to 126 at position 2");
        QTest::newRow("246 characters at a legacy level")
            << 2 << QByteArray(246, 'p') << QByteArray(246, 'p') << QByteArray("t")
            << v({Verdict::PasswordTooLong}) << QByteArray();
        QTest::newRow("a tab in the text")
            << 3 << QByteArray("password") << QByteArray("password") << QByteArray("line\r\nat\tb")
            << v({Verdict::TextNotCarried}) << QByteArray("a tab at line 2, column 3");
        // "`" leaves every byte as it is, so the text's end marker stays in the block.
        QTest::newRow("the block would hold its end marker")
            << 1 << QByteArray("`") << QByteArray("`") << QByteArray("a [End_Encryption] b")
            << v({Verdict::BlockUnreadable}) << QByteArray();
        QTest::newRow("fine") << 1 << QByteArray("`") << QByteArray("`") << QByteArray("text")
                              << v({}) << QByteArray();
    }

    void encryptTellsWhatItRefuses()
    {
        QFETCH(int, level);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, confirmation);
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, verdicts);
        QFETCH(QByteArray, what);
        Bytes work = text.toStdString();
        const Result r = encrypt(work, level, password.toStdString(), confirmation.toStdString());
        QCOMPARE(int(r.told.size()), verdicts.size());
        for (int i = 0; i < verdicts.size(); ++i)
            QCOMPARE(int(r.told[std::size_t(i)].verdict), verdicts[i]);
        if (!what.isEmpty())
            QCOMPARE(QByteArray::fromStdString(r.told[0].what), what);
        QCOMPARE(r.replaced, verdicts.isEmpty());
        // Nothing half done is left to the caller.
        QVERIFY(r.replaced ? work.starts_with(kBeginMarker) : work.empty());
    }

    void decryptVerdictsAndTheTextAround()
    {
        const Bytes password = "a long passphrase";
        const Bytes strong = strongBlock("caf\xc3\xa9", password);
        const Bytes legacy = legacyBlock("plain\r\ntext", "password", 3);
        Bytes damagedLegacy = legacy;
        damagedLegacy[damagedLegacy.size() - kEndMarker.size() - 3] ^= 1;
        Bytes damagedStrong = strong;
        damagedStrong[kBeginMarker.size() + 10] = '!';
        const struct
        {
            const char *name;
            Bytes text;
            Bytes password;
            Verdict verdict;
            Bytes after; // the text when replaced
        } cases[] = {
            {"strong", "a " + strong + " b", password, Verdict::Good, "a caf\xc3\xa9 b"},
            {"legacy", "<" + legacy + ">", "password", Verdict::Good, "<plain\r\ntext>"},
            {"no block", "just text", password, Verdict::NoBlock, {}},
            {"no block, password too long", "just text", Bytes(300, 'p'), Verdict::NoBlock, {}},
            {"empty password", legacy, {}, Verdict::EmptyPassword, {}},
            {"empty password, strong", strong, {}, Verdict::EmptyPassword, {}},
            {"damage before an empty password", damagedStrong, {}, Verdict::Damaged, {}},
            {"wrong password", legacy, "Zq9!x", Verdict::WrongPassword, {}},
            {"wrong password, strong", strong, "a long passphrasE", Verdict::WrongPassword, {}},
            {"legacy damage gives text", damagedLegacy, "password", Verdict::DamagedWithText,
                "plain\r\ntexs"},
            {"strong damage gives none", damagedStrong, password, Verdict::Damaged, {}},
            {"246 characters for a legacy block", legacy, Bytes(246, 'p'), Verdict::PasswordTooLong,
                {}},
            {"246 characters open a strong one", strongBlock("x", Bytes(246, 'p')), Bytes(246, 'p'),
                Verdict::Good, "x"},
        };
        for (const auto &c : cases) {
            Bytes text = c.text;
            const Result r = decrypt(text, c.password);
            QVERIFY2(r.verdict() == c.verdict,
                qPrintable(QStringLiteral("%1: %2").arg(c.name).arg(int(r.verdict()))));
            const bool gives = c.verdict == Verdict::Good || c.verdict == Verdict::DamagedWithText;
            QVERIFY2(r.replaced == gives, c.name);
            // Noise from a wrong key never reaches the caller.
            QVERIFY2(text == (gives ? c.after : Bytes()), (c.name + (": " + text)).c_str());
        }
    }

    void oneTableForEveryFrontEnd()
    {
        const struct
        {
            Fact fact;
            const char *text;
            const char *terminal;
            int exit;
        } rows[] = {
            {{Verdict::NoBlock, 0, {}}, "Unable to find encryption signature.",
                "Unable to find encryption signature.", 2},
            {{Verdict::WrongPassword, 4, {}}, "Incorrect password.", "Incorrect password.", 3},
            {{Verdict::DamagedWithText, 1, {}},
                "Check sum error:\nData may be corrupt or contain errors.",
                "Check sum error:\nData may be corrupt or contain errors.", 4},
            {{Verdict::PasswordTooShort, 2, {}},
                "Level 2 encryption requires a minimum password leanth of five characters.",
                "Level 2 encryption requires a minimum password leanth of five characters.", 1},
            {{Verdict::PasswordTooShort, 4, {}},
                "Level 4 encryption requires a minimum password length of twelve characters.",
                "Level 4 encryption requires a minimum password length of twelve characters.", 1},
            {{Verdict::PasswordTooLong, 4, {}}, "Level 4 takes a password of at most 4096 bytes.",
                "vlq: cannot use this password: it is longer than 4096 bytes.", 1},
            {{Verdict::NoSecretKey, kOpenPgpPassword, "0123456789ABCDEF (Bob <b@x.org>)"},
                "This message is encrypted to keys whose secret key you do not hold:\n"
                "0123456789ABCDEF (Bob <b@x.org>)\nOnly their holders can decrypt it.",
                "vlq: no secret key for this message; it is encrypted to 0123456789ABCDEF (Bob "
                "<b@x.org>).",
                5},
            {{Verdict::NotIntegrityProtected, kOpenPgpPassword, {}},
                "This message has no integrity protection: it could have been changed on the way "
                "without anyone noticing. It is not decrypted.",
                "vlq: the message has no integrity protection (it could have been changed on the "
                "way); not decrypted.",
                4},
            {{Verdict::PasswordTooLong, kOpenPgpPassword, {}},
                "An OpenPGP password takes at most 255 bytes.",
                "vlq: cannot use this password: it is longer than 255 bytes.", 1},
            {{Verdict::TextNotCarried, 1, "a tab at line 1, column 2"},
                "This text cannot be encrypted: it contains a tab at line 1, column 2.\n"
                "Encryption would not give it back unchanged.",
                "vlq: cannot encrypt this text exactly: a tab at line 1, column 2.", 1},
        };
        for (const auto &row : rows) {
            const Message m = message(row.fact);
            QCOMPARE(QByteArray::fromStdString(m.text), QByteArray(row.text));
            QCOMPARE(QByteArray::fromStdString(m.terminal), QByteArray(row.terminal));
            QCOMPARE(m.exitStatus, row.exit);
            QCOMPARE(exitStatus({{row.fact}}), row.exit);
        }
        // Every verdict told has words in both places and a title.
        for (int v = int(Verdict::NoBlock); v <= int(Verdict::BadSignature); ++v) {
            const Message m = message({Verdict(v), 1, "x"});
            QVERIFY(!m.text.empty() && !m.terminal.empty() && !m.title.empty());
            QVERIFY(m.exitStatus != 0);
        }
        QCOMPARE(exitStatus({}), 0);
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
