// The spelling library with Debian's hunspell-en-us: which spans are words,
// the dictionaries found, and the personal word list kept where the test
// says, never in the user's own.

#include "spelling/library.h"
#include "spelling/words.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using spelling::Library;
using spelling::WordFinder;

namespace {

const spelling::Markers kMarkers = {QStringLiteral("[Encrypted_By_Velmorandquist][Begin_Encryption]"),
    QStringLiteral("[End_Encryption]")};

QStringList wordsOf(const WordFinder &finder, const QString &text, bool &inBlock)
{
    QStringList out;
    for (const spelling::WordSpan &w : finder.words(text, inBlock))
        out << text.mid(w.start, w.length);
    return out;
}

} // namespace

class TestSpelling : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_words;

private slots:
    void initTestCase()
    {
        // The engines keep added words here, not in the user's list.
        QVERIFY(m_words.isValid());
        qputenv("ENCHANT_CONFIG_DIR", QFile::encodeName(m_words.path()));
    }

    void wordsAndWhatIsNot()
    {
        const WordFinder finder(kMarkers);
        bool inBlock = false;
        const QString text = QStringLiteral(
            "Teh quick brwn fox, see https://example.org/a?b=c or www.example.org, mail "
            "me@example.org; open notes.txt or C:\\x\\y and /etc/hosts; code abc123 or snake_case; "
            "don't \u201cstop\u201d \u2014 twenty-one 42 (\u00e9t\u00e9).");
        QCOMPARE(wordsOf(finder, text, inBlock),
            QStringList({"Teh", "quick", "brwn", "fox", "see", "or", "mail", "open", "or", "and",
                "code", "or", "don't", "stop", "twenty", "one", "\u00e9t\u00e9"}));
        QVERIFY(!inBlock);
        const auto at = finder.wordAt(text, false, 11); // the end of "brwn"
        QVERIFY(at && text.mid(at->start, at->length) == QStringLiteral("brwn"));
        QVERIFY(!finder.wordAt(text, false, 35)); // inside the link
    }

    void encryptedBlockIsNeverWords()
    {
        const WordFinder finder(kMarkers);
        // A block over several paragraphs, as a mail program breaks it.
        const QStringList paragraphs = {
            QStringLiteral("Befor it: [Encrypted_By_Velmorandquist][Begin_Encryption]%Zq wrold"),
            QStringLiteral("xqz brwn teh"),
            QStringLiteral("abc teh[End_Encryption] aftr it"),
            QStringLiteral("one [Encrypted_By_Velmorandquist][Begin_Encryption]teh[End_Encryption] "
                           "two [Encrypted_By_Velmorandquist][Begin_Encryption] three"),
            QStringLiteral("still teh body"),
        };
        const QList<QStringList> expected = {{"Befor", "it"}, {}, {"aftr", "it"}, {"one", "two"}, {}};
        const QList<bool> endsInside = {true, true, false, true, true};
        bool inBlock = false;
        bool cheap = false;
        for (int i = 0; i < paragraphs.size(); ++i) {
            QCOMPARE(wordsOf(finder, paragraphs[i], inBlock), expected[i]);
            QCOMPARE(inBlock, endsInside[i]);
            cheap = finder.endsInBlock(paragraphs[i], cheap);
            QCOMPARE(cheap, endsInside[i]);
        }
        QVERIFY(!finder.wordAt(paragraphs[1], true, 6));
        // Without markers nothing is a block.
        inBlock = true;
        QCOMPARE(wordsOf(WordFinder(), paragraphs[1], inBlock).size(), 3);
    }

    void dictionariesAndPersonalList()
    {
        Library none({QStringLiteral("no-such-engine")});
        QVERIFY(none.isEmpty());
        QCOMPARE(none.languageFor(QLocale(QStringLiteral("en_US"))), QString());
        QVERIFY(!none.checker(QStringLiteral("en_US")));

        {
            Library library({QStringLiteral("hunspell")});
            QVERIFY2(library.languages().contains(QStringLiteral("en_US")),
                "hunspell-en-us is not installed");
            QCOMPARE(library.languageFor(QLocale(QStringLiteral("en_US"))), QStringLiteral("en_US"));
            // A locale without a dictionary of its own falls back to American English.
            QCOMPARE(library.languageFor(QLocale(QStringLiteral("sw_KE"))), QStringLiteral("en_US"));
            QCOMPARE(library.languageFor(QLocale::c()), QStringLiteral("en_US"));
            QCOMPARE(Library::displayName(QStringLiteral("en_US")),
                QStringLiteral("English (United States)"));
            QCOMPARE(Library::displayName(QStringLiteral("de_DE_frami")),
                QStringLiteral("German (Germany) [de_DE_frami]"));
            QVERIFY(!library.checker(QStringLiteral("xx_YY")));

            spelling::Checker *en = library.checker(QStringLiteral("en_US"));
            QVERIFY(en);
            QCOMPARE(library.checker(QStringLiteral("en_US")), en);
            QVERIFY(en->isCorrect(u"hello") && en->isCorrect(u"don't") && en->isCorrect(u"Hello"));
            QVERIFY(!en->isCorrect(u"wrold") && !en->isCorrect(u"wrold")); // asked, then known
            QVERIFY(en->suggestions(u"wrold").contains(QStringLiteral("world")));
            QVERIFY(en->suggestions(u"").isEmpty());

            QSignalSpy changed(en, &spelling::Checker::wordsChanged);
            QVERIFY(!en->isCorrect(u"Qumo") && !en->isCorrect(u"Velmorandquist"));
            en->ignore(QStringLiteral("Qumo"));
            en->add(QStringLiteral("Velmorandquist"));
            QCOMPARE(changed.size(), 2);
            QVERIFY(en->isCorrect(u"Qumo") && en->isCorrect(u"Velmorandquist"));
        }
        // A new run: the added word is still known, the ignored one is not.
        Library again({QStringLiteral("hunspell")});
        spelling::Checker *en = again.checker(QStringLiteral("en_US"));
        QVERIFY(en->isCorrect(u"Velmorandquist"));
        QVERIFY(!en->isCorrect(u"Qumo"));
        QFile list(QDir(m_words.path()).filePath(QStringLiteral("en_US.dic")));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QVERIFY(list.readAll().contains("Velmorandquist"));
        if (qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
            QVERIFY(!QDir(qEnvironmentVariable("XDG_CONFIG_HOME"))
                    .exists(QStringLiteral("enchant/en_US.dic")));
        }
    }
};

QTEST_GUILESS_MAIN(TestSpelling)
#include "tst_spelling.moc"
