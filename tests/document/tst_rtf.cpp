// The RTF codec: what the reader makes of each construct, what the writer
// writes, generated documents through both, the plain-text fallback, the
// file errors, and unrtf reading our files.

#include "document/codepages.h"
#include "document/cp1252.h"
#include "document/rtfcodec.h"
#include "document/rtfreader.h"
#include "tests/support/files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

using namespace document;

namespace {

// The text with paragraphs as '\n' and line breaks kept as U+2028.
QString textOf(const QTextDocument &doc)
{
    QString s = doc.toRawText();
    s.replace(QChar::ParagraphSeparator, QChar(u'\n'));
    return s;
}

QString textFromRtf(const QByteArray &rtf)
{
    QTextDocument doc;
    rtf::loadBytes(doc, rtf);
    return textOf(doc);
}

// One run of text with the formatting it shows.
struct Run
{
    QString text;
    rtf::RunFormat format;
    bool operator==(const Run &) const = default;
};

// The document as paragraphs of runs, adjacent runs of equal formatting
// joined, so documents built differently compare by what they show.
QList<QList<Run>> runsOf(const QTextDocument &doc)
{
    QList<QList<Run>> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QList<Run> runs;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const rtf::RunFormat format = rtf::resolvedFormat(f.charFormat(), doc.defaultFont());
            if (!runs.isEmpty() && runs.last().format == format)
                runs.last().text += f.text();
            else
                runs.append({f.text(), format});
        }
        out.append(runs);
    }
    return out;
}

QString describe(const QList<QList<Run>> &doc)
{
    QString s;
    for (const QList<Run> &p : doc) {
        for (const Run &r : p) {
            s +=
                QStringLiteral("[%1 %2 %3%4%5%6 %7]")
                    .arg(r.format.family)
                    .arg(r.format.pointSize)
                    .arg(r.format.bold ? u'b' : u'-')
                    .arg(r.format.italic ? u'i' : u'-')
                    .arg(r.format.underline ? u'u' : u'-')
                    .arg(r.format.strikeOut ? u's' : u'-')
                    .arg(r.format.color.isValid() ? r.format.color.name() : QStringLiteral("auto"));
            s += r.text.toHtmlEscaped().left(40);
        }
        s += u'\n';
    }
    return s;
}

rtf::RunFormat formatOf(const QByteArray &rtf, const QString &text)
{
    QTextDocument doc;
    rtf::loadBytes(doc, rtf);
    const QTextCursor found = doc.find(text);
    if (found.isNull())
        return {};
    QTextCursor at(&doc);
    at.setPosition(found.selectionStart() + 1);
    return rtf::resolvedFormat(at.charFormat(), doc.defaultFont());
}

// A random document: paragraphs of runs in the formatting the file format
// carries, some runs with no formatting of their own, and text from every
// class of character the writer escapes differently.
void generate(QTextDocument &doc, quint32 seed, bool forUnrtf = false)
{
    QRandomGenerator rng(seed);
    const QStringList families = {QStringLiteral("DejaVu Sans"), QStringLiteral("Courier New"),
        QStringLiteral("Times New Roman"), QStringLiteral("Caf\u00e9 Sans"),
        QStringLiteral("\u5B8B\u4F53")};
    QString alphabet = QStringLiteral("abcdefghij KLMNOP 0123456789 .,;:!?-_'\"{}\\()[]");
    alphabet += QStringLiteral("\u00e9\u00fc\u00df\u20ac\u2026\u201c\u201d\u00a0\u00ad");
    alphabet += QStringLiteral("\u0416\u044f\u03a9\u05d0\u4e2d\u6587\u2028\u2011\u00ff\u0100");
    // unrtf turns a tab into a line end and drops control characters.
    if (!forUnrtf)
        alphabet += QString(QChar(0x1F)) + QChar(0x01) + QChar(0x7F) + QChar(0x0B) + QChar(0x00)
            + QChar(u'\t') + QChar(0x81);
    const QString emoji = QStringLiteral("\U0001F4A9");
    QTextCursor c(&doc);
    const int paragraphs = 1 + rng.bounded(12);
    for (int p = 0; p < paragraphs; ++p) {
        if (p > 0)
            c.insertBlock();
        const int runs = rng.bounded(6);
        for (int r = 0; r < runs; ++r) {
            QTextCharFormat f;
            if (rng.bounded(4) != 0) {
                if (rng.bounded(3) != 0)
                    f.setFontFamilies(QStringList {families.at(rng.bounded(families.size()))});
                if (rng.bounded(3) != 0)
                    f.setFontPointSize((8 + rng.bounded(60)) / 2.0);
                if (rng.bounded(2))
                    f.setFontWeight(rng.bounded(2) ? QFont::Bold : QFont::Normal);
                if (rng.bounded(2))
                    f.setFontItalic(rng.bounded(2));
                if (rng.bounded(2))
                    f.setFontUnderline(rng.bounded(2));
                if (rng.bounded(2))
                    f.setFontStrikeOut(rng.bounded(2));
                if (rng.bounded(2))
                    f.setForeground(QColor::fromRgb(rng.bounded(0x1000000)));
            }
            QString text;
            const int length = 1 + rng.bounded(30);
            for (int i = 0; i < length; ++i) {
                if (rng.bounded(40) == 0)
                    text += emoji;
                else
                    text += alphabet.at(rng.bounded(alphabet.size()));
            }
            c.insertText(text, f);
        }
    }
}

} // namespace

class TestRtf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A file too large for RLIMIT_FSIZE raises SIGXFSZ; the write fails instead.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    void signature_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("rtf");
        QTest::newRow("plain") << QByteArray("{\\rtf1 a}") << true;
        QTest::newRow("white space first") << QByteArray(" \r\n\t{\\rtf0}") << true;
        QTest::newRow("no group") << QByteArray("\\rtf1 a") << false;
        QTest::newRow("garbage first") << QByteArray("/{\\rtf1 a}") << false;
        QTest::newRow("other word") << QByteArray("{\\rt a}") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void signature()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, rtf);
        QCOMPARE(rtf::looksLikeRtf(bytes), rtf);
    }

    void readText_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        // Control words and their delimiters.
        QTest::newRow("delimiter space") << QByteArray("a\\b b\\b0  c") << QStringLiteral("ab c");
        QTest::newRow("number ended by letter")
            << QByteArray("\\highlight0Normal") << QStringLiteral("Normal");
        QTest::newRow("unknown words")
            << QByteArray("\\foo\\bar12 x\\baz-3 y") << QStringLiteral("xy");
        QTest::newRow("word of 33 letters is unknown")
            << QByteArray("\\parparparparparparparparparparpar x") << QStringLiteral("x");
        QTest::newRow("source line ends") << QByteArray("a\r\nb\rc\nd") << QStringLiteral("abcd");
        QTest::newRow("spaces after a word") << QByteArray("\\b    x") << QStringLiteral("   x");
        QTest::newRow("dash without digits") << QByteArray("\\b- x") << QStringLiteral("- x");
        // Control symbols.
        QTest::newRow("escapes") << QByteArray("\\{\\}\\\\") << QStringLiteral("{}\\");
        QTest::newRow("special symbols")
            << QByteArray("a\\~b\\-c\\_d") << QStringLiteral("a\u00a0b\u00adc\u2011d");
        QTest::newRow("backslash line feed")
            << QByteArray("a\\\nb\\\rc") << QStringLiteral("a\nb\nc");
        QTest::newRow("other symbols ignored") << QByteArray("a\\|\\:b") << QStringLiteral("ab");
        // Paragraphs and breaks.
        QTest::newRow("par line tab")
            << QByteArray("a\\par b\\line c\\tab d") << QStringLiteral("a\nb\u2028c\td");
        QTest::newRow("page sect") << QByteArray("a\\page b\\sect c") << QStringLiteral("a\nb\nc");
        QTest::newRow("last par ends the paragraph") << QByteArray("a\\par") << QStringLiteral("a");
        QTest::newRow("empty paragraphs")
            << QByteArray("\\par a\\par\\par\\par") << QStringLiteral("\na\n\n");
        QTest::newRow("table cells")
            << QByteArray("\\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row c\\cell d\\cell\\row")
            << QStringLiteral("a\nb\nc\nd");
        QTest::newRow("nested cells")
            << QByteArray("a\\nestcell b\\nestcell\\nestrow c") << QStringLiteral("a\nb\nc");
        QTest::newRow("named characters")
            << QByteArray("\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote")
            << QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201c\u201d");
        QTest::newRow("literal tab") << QByteArray("a\tb") << QStringLiteral("a\tb");
        QTest::newRow("literal control bytes dropped") << QByteArray("a\x01\x1f"
                                                                     "b",
            4) << QStringLiteral("ab");
        QTest::newRow("escaped control bytes kept") << QByteArray(
            "a\\'1f\\'01\\'7f\\'00b") << QStringLiteral("a\x1f\x01\x7f") + QChar(0) + u'b';
        // Code pages.
        QTest::newRow("cp1252 default")
            << QByteArray("\\'80\\'85\\'e9") << QStringLiteral("\u20ac\u2026\u00e9");
        QTest::newRow("ansicpg1251")
            << QByteArray("\\ansicpg1251\\'c0\\'e1") << QStringLiteral("\u0410\u0431");
        QTest::newRow("ansicpg0 is 1252")
            << QByteArray("\\ansicpg0\\'e9") << QStringLiteral("\u00e9");
        QTest::newRow("unknown page is 1252")
            << QByteArray("\\ansicpg12345\\'e9") << QStringLiteral("\u00e9");
        QTest::newRow("mac") << QByteArray("\\mac\\'8e\\'a5") << QStringLiteral("\u00e9\u2022");
        QTest::newRow("pc") << QByteArray("\\pc\\'82\\'b0") << QStringLiteral("\u00e9\u2591");
        QTest::newRow("pca") << QByteArray("\\pca\\'82\\'d5") << QStringLiteral("\u00e9\u0131");
        QTest::newRow("font charsets win") << QByteArray(
            "{\\fonttbl{\\f0\\fcharset238 A;}{\\f1\\fcharset204 B;}{\\f2\\fcharset0 C;}}"
            "\\f0\\'e8\\f1\\'e8\\f2\\'e8{\\f0\\'b9}\\'e8")
                                           << QStringLiteral("\u010d\u0438\u00e8\u0105\u00e8");
        QTest::newRow("default font charset")
            << QByteArray("\\deff1{\\fonttbl{\\f1\\fcharset161 G;}}\\'e1\\plain\\'e2")
            << QStringLiteral("\u03b1\u03b2");
        QTest::newRow("font cpg") << QByteArray("{\\fonttbl{\\f0\\cpg1257\\fcharset0 A;}}\\f0\\'e0")
                                  << QStringLiteral("\u0105");
        QTest::newRow("each windows page")
            << QByteArray(
                   "{\\fonttbl{\\f0\\fcharset162 a;}{\\f1\\fcharset177 b;}{\\f2\\fcharset178 c;}"
                   "{\\f3\\fcharset186 d;}{\\f4\\fcharset163 e;}{\\f5\\fcharset222 f;}}"
                   "\\f0\\'f0\\f1\\'e0\\f2\\'c7\\f3\\'e0\\f4\\'f0\\f5\\'a1")
            << QStringLiteral("\u011f\u05d0\u0627\u0105\u0111\u0e01");
        QTest::newRow("shift-jis pairs")
            << QByteArray("{\\fonttbl{\\f0\\fcharset128 M;}}\\f0\\'83\\'6f\\'81\\'5b\\'b1")
            << QStringLiteral("\u30d0\u30fc\uff71");
        QTest::newRow("pair split by a line feed")
            << QByteArray("\\ansicpg936\\'d6\n\\'d0") << QStringLiteral("\u4e2d");
        QTest::newRow("literal trail byte")
            << QByteArray("\\ansicpg932\\'81[") << QStringLiteral("\u30fc");
        QTest::newRow("lone lead byte")
            << QByteArray("\\ansicpg936\\'d6\\par x") << QStringLiteral("\ufffd\nx");
        QTest::newRow("big5") << QByteArray("\\ansicpg950\\'a4\\'a4") << QStringLiteral("\u4e2d");
        QTest::newRow("korean") << QByteArray("\\ansicpg949\\'c7\\'d1") << QStringLiteral("\ud55c");
        QTest::newRow("symbol bullet")
            << QByteArray("{\\fonttbl{\\f3\\fcharset2 Symbol;}}{\\f3\\'b7\\'61}a")
            << QStringLiteral("\u2022aa");
        QTest::newRow("font name in its code page")
            << QByteArray("{\\fonttbl{\\f0\\fcharset204 \\'c0;}}x") << QStringLiteral("x");
        // Unicode.
        QTest::newRow("u with fallback") << QByteArray("\\u233?x") << QStringLiteral("\u00e9x");
        QTest::newRow("uc0") << QByteArray("\\uc0\\u233 e") << QStringLiteral("\u00e9e");
        QTest::newRow("uc2 skips hex and literal")
            << QByteArray("\\uc2\\u233\\'e9xy") << QStringLiteral("\u00e9y");
        QTest::newRow("uc skips a control word")
            << QByteArray("\\u233\\'3f x\\u233\\foo y") << QStringLiteral("\u00e9 x\u00e9y");
        QTest::newRow("uc scoped to the group")
            << QByteArray("{\\uc2\\u233 ab}\\u233 cd") << QStringLiteral("\u00e9\u00e9d");
        QTest::newRow("skipping ends with the group")
            << QByteArray("{\\uc3\\u233}abc") << QStringLiteral("\u00e9abc");
        QTest::newRow("negative u") << QByteArray("\\u-4064?") << QStringLiteral("\uf020");
        QTest::newRow("surrogate pair")
            << QByteArray("\\u-10179?\\u-9047?") << QStringLiteral("\U0001F4A9");
        QTest::newRow("lone surrogates") << QByteArray("a\\u-10240?b\\u-9216?c\\u-9216?\\u-10240?d")
                                         << QStringLiteral("a\ufffdb\ufffdc\ufffd\ufffdd");
        QTest::newRow("high surrogate at paragraph end")
            << QByteArray("a\\u-10240?\\par b") << QStringLiteral("a\ufffd\nb");
        QTest::newRow("u out of range")
            << QByteArray("\\u99999999999999?x") << QStringLiteral("\ufffdx");
        QTest::newRow("u object mark dropped") << QByteArray("a\\u65532?b") << QStringLiteral("ab");
        QTest::newRow("u paragraph separator")
            << QByteArray("a\\u8233?b") << QStringLiteral("a\nb");
        // Destinations.
        QTest::newRow("ignorable") << QByteArray("a{\\*\\foo b{c}}d") << QStringLiteral("ad");
        QTest::newRow("ignorable known")
            << QByteArray("a{\\*\\fldrslt b}c") << QStringLiteral("abc");
        QTest::newRow("skipped") << QByteArray(
            "a{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}{\\header h}{\\footerl f}"
            "{\\footnote n}{\\xe x}{\\tc t}{\\pict 0123}{\\object o}{\\nonesttables\\par}b")
                                 << QStringLiteral("ab");
        QTest::newRow("field result")
            << QByteArray("{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}")
            << QStringLiteral("link");
        QTest::newRow("field instruction without star")
            << QByteArray("{\\field{\\fldinst PAGE}{\\fldrslt 3}}") << QStringLiteral("3");
        QTest::newRow("upr keeps ud")
            << QByteArray("{\\upr{ansi}{\\*\\ud{uni}}}x") << QStringLiteral("unix");
        QTest::newRow("list label")
            << QByteArray("{\\pntext\\'b7\\tab}a{\\*\\pn\\pnlvlblt{\\pntxtb x}}")
            << QStringLiteral("\u00b7\ta");
        QTest::newRow("hidden") << QByteArray("a{\\v b}c\\v d\\v0 e") << QStringLiteral("ace");
        QTest::newRow("bin in text") << QByteArray("a\\bin3 }{\\b") << QStringLiteral("ab");
        QTest::newRow("bin with braces")
            << QByteArray("a{\\pict\\bin4 {}\\\\}b") << QStringLiteral("ab");
        QTest::newRow("bin counts one for uc")
            << QByteArray("\\uc2\\u233\\bin2 xyab") << QStringLiteral("\u00e9b");
        QTest::newRow("bin longer than the input")
            << QByteArray("a\\bin999999999 b") << QStringLiteral("a");
        QTest::newRow("hex with one digit") << QByteArray("a\\'4zb") << QStringLiteral("a\x04zb");
        QTest::newRow("hex with none") << QByteArray("a\\'zb") << QStringLiteral("azb");
    }

    void readText()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QCOMPARE(textFromRtf("{\\rtf1\\ansi " + body + "}"), text);
    }

    // The built-in tables against Qt's converters, where both know a byte.
    void codePageTables_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("qtName");
        for (int cp = 1250; cp <= 1258; ++cp)
            QTest::newRow(qPrintable(QString::number(cp)))
                << cp << QStringLiteral("windows-%1").arg(cp);
        QTest::newRow("10000") << 10000 << QStringLiteral("macintosh");
    }

    void codePageTables()
    {
        QFETCH(int, codePage);
        QFETCH(QString, qtName);
        const auto page = codepages::CodePage::create(codePage);
        QVERIFY(page);
        QStringDecoder qt(qPrintable(qtName), QStringDecoder::Flag::Stateless);
        if (!qt.isValid())
            QSKIP("Qt cannot convert this code page");
        int compared = 0;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char16_t ours = page->single(static_cast<unsigned char>(b));
            if (ours == 0xFFFD || (b < 0xA0 && ours == b))
                continue; // unassigned
            const char byte = char(b);
            QCOMPARE(qt.decode(QByteArrayView(&byte, 1)), QString(QChar(ours)));
            ++compared;
        }
        QVERIFY(compared > 100);
    }

    void readEnds_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complete");
        QTest::newRow("complete") << QByteArray("{\\rtf1 a}") << QStringLiteral("a") << true;
        QTest::newRow("after the last brace")
            << QByteArray("{\\rtf1 a}b{c}\\par d") << QStringLiteral("a") << true;
        QTest::newRow("extra braces") << QByteArray("{\\rtf1 a}}}") << QStringLiteral("a") << true;
        QTest::newRow("zero byte after")
            << QByteArray("{\\rtf1 a}\0", 10) << QStringLiteral("a") << true;
        QTest::newRow("truncated")
            << QByteArray("{\\rtf1 a{\\b b") << QStringLiteral("ab") << false;
        QTest::newRow("truncated in a word")
            << QByteArray("{\\rtf1 a\\pa") << QStringLiteral("a") << false;
        QTest::newRow("truncated in hex")
            << QByteArray("{\\rtf1 a\\'") << QStringLiteral("a") << false;
        QTest::newRow("truncated after backslash")
            << QByteArray("{\\rtf1 a\\") << QStringLiteral("a") << false;
        QTest::newRow("truncated after par")
            << QByteArray("{\\rtf1 a\\par\\par") << QStringLiteral("a\n") << false;
        QTest::newRow("truncated lead byte")
            << QByteArray("{\\rtf1\\ansicpg936 a\\'d6") << QStringLiteral("a\ufffd") << false;
        QTest::newRow("truncated surrogate")
            << QByteArray("{\\rtf1 a\\u-10240?") << QStringLiteral("a\ufffd") << false;
        QTest::newRow("lead byte at the end")
            << QByteArray("{\\rtf1\\ansicpg936 a\\'d6}") << QStringLiteral("a\ufffd") << true;
    }

    void readEnds()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QFETCH(bool, complete);
        QTextDocument doc;
        QTextCursor c(&doc);
        QCOMPARE(rtf::readRtf(rtf, c), complete);
        QCOMPARE(textOf(doc), text);
    }

    void readFormatting_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QColor>("color");
        const QByteArray tables = "{\\fonttbl{\\f0 Alpha;}{\\f1\\fswiss Beta Sans;}}"
                                  "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";
        QTest::newRow("defaults") << tables + "X"
                                  << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("all on") << tables + "\\f1\\fs21\\b\\i\\ul\\strike\\cf2 X"
                                << "Beta Sans" << 10.5 << "bius" << QColor(0, 0, 255);
        QTest::newRow("toggled off") << tables + "\\b\\i\\ul\\strike\\b0\\i0\\ul0\\strike0 X"
                                     << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("ulnone") << tables + "\\ul\\ulnone X"
                                << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("underline kinds") << tables + "\\uldb X"
                                         << "Alpha" << 12.0 << "--u-" << QColor();
        QTest::newRow("underline colour is no underline") << tables + "\\ulc1 X"
                                                          << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("double strike") << tables + "\\striked1 X"
                                       << "Alpha" << 12.0 << "---s" << QColor();
        QTest::newRow("group restores") << tables + "{\\b\\f1\\cf1 a}X"
                                        << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("plain resets") << tables + "\\f1\\b\\cf1\\fs40\\plain X"
                                      << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("deff") << "\\deff1" + tables + "X"
                              << "Beta Sans" << 12.0 << "----" << QColor();
        QTest::newRow("cf0 is auto") << QByteArray("{\\colortbl\\red9\\green9\\blue9;}\\cf0 X")
                                     << QString() << 12.0 << "----" << QColor();
        QTest::newRow("colour beyond the table") << tables + "\\cf9 X"
                                                 << "Alpha" << 12.0 << "----" << QColor();
        QTest::newRow("unknown font")
            << tables + "\\f7 X" << QString() << 12.0 << "----" << QColor();
        QTest::newRow("huge size clamped") << tables + "\\fs99999999999999 X"
                                           << "Alpha" << 1638.0 << "----" << QColor();
        QTest::newRow("fs0 clamped") << tables + "\\fs0 X"
                                     << "Alpha" << 1.0 << "----" << QColor();
        QTest::newRow("font table without groups")
            << QByteArray("{\\fonttbl\\f0\\fswiss Helvetica;\\f1\\fnil Geneva;}\\f1 X") << "Geneva"
            << 12.0 << "----" << QColor();
        QTest::newRow("font name with alternatives")
            << QByteArray(
                   "{\\fonttbl{\\f0\\froman{\\*\\panose 0202}Times New Roman{\\*\\falt T};}}X")
            << "Times New Roman" << 12.0 << "----" << QColor();
        QTest::newRow("font name without semicolon")
            << QByteArray("{\\fonttbl{\\f0 Gamma}}X") << "Gamma" << 12.0 << "----" << QColor();
        QTest::newRow("font name in unicode")
            << QByteArray("{\\fonttbl{\\f0\\fcharset134 \\u23435?\\u20307?;}}X") << "\u5b8b\u4f53"
            << 12.0 << "----" << QColor();
        QTest::newRow("font name in double bytes")
            << QByteArray("{\\fonttbl{\\f0\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}X") << "\u5b8b\u4f53"
            << 12.0 << "----" << QColor();
        QTest::newRow("font name cleaned")
            << QByteArray("{\\fonttbl{\\f0\\'01 Name\\line\\tab\\'0a ;}}X") << "Name" << 12.0
            << "----" << QColor();
        QTest::newRow("font name cut") << "{\\fonttbl{\\f0 " + QByteArray(255, 'n') + "  x;}}X"
                                       << QString(255, u'n') << 12.0 << "----" << QColor();
        QTest::newRow("font table inside upr")
            << QByteArray("{\\upr{\\fonttbl{\\f0 Ansi;}}{\\*\\ud{\\fonttbl{\\f0 Uni;}}}}X") << "Uni"
            << 12.0 << "----" << QColor();
        QTest::newRow("last colour without semicolon")
            << QByteArray("{\\colortbl;\\red0\\green128\\blue0}\\cf1 X") << QString() << 12.0
            << "----" << QColor(0, 128, 0);
        QTest::newRow("colour table with auto entry")
            << tables + "\\cf1 X"
            << "Alpha" << 12.0 << "----" << QColor(255, 0, 0);
    }

    void readFormatting()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(QString, flags);
        QFETCH(QColor, color);
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("DefaultFamily"), 7));
        rtf::loadBytes(doc, "{\\rtf1\\ansi " + body + "}");
        QTextCursor at(&doc);
        at.movePosition(QTextCursor::End);
        const QTextCharFormat raw = at.charFormat();
        const rtf::RunFormat f = rtf::resolvedFormat(raw, doc.defaultFont());
        QCOMPARE(textOf(doc).right(1), QStringLiteral("X"));
        QCOMPARE(f.family, family.isEmpty() ? QStringLiteral("DefaultFamily") : family);
        QCOMPARE(raw.hasProperty(QTextFormat::FontFamilies), !family.isEmpty());
        QCOMPARE(f.pointSize, points);
        QCOMPARE(QString(QChar(f.bold ? u'b' : u'-')) + QChar(f.italic ? u'i' : u'-')
                + QChar(f.underline ? u'u' : u'-') + QChar(f.strikeOut ? u's' : u'-'),
            flags);
        QCOMPARE(f.color, color);
        QCOMPARE(raw.hasProperty(QTextFormat::ForegroundBrush), color.isValid());
    }

    // Formatting changes inside a word split runs; equal formatting does not.
    void runs()
    {
        QTextDocument doc;
        rtf::loadBytes(doc, "{\\rtf1{\\fonttbl{\\f0 A;}}K{\\b\\b0 F}i\\b l\\b0\\plain e}");
        QCOMPARE(textOf(doc), QStringLiteral("KFile"));
        const QList<QList<Run>> runs = runsOf(doc);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs.at(0).size(), 3);
        QCOMPARE(runs.at(0).at(1).text, QStringLiteral("l"));
        QVERIFY(runs.at(0).at(1).format.bold);
    }

    void hostile_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("deep nesting")
            << "{\\rtf1 a" + QByteArray(200000, '{') + "b" + QByteArray(200000, '}') + "c}"
            << QStringLiteral("ac");
        QTest::newRow("deep nesting unclosed")
            << "{\\rtf1 a" + QByteArray(200000, '{') + "b" << QStringLiteral("a");
        QTest::newRow("nesting at the cap")
            << "{\\rtf1 a" + QByteArray(500, '{') + "b" + QByteArray(500, '}') + "c}"
            << QStringLiteral("abc");
        QTest::newRow("long control word")
            << "{\\rtf1 a\\" + QByteArray(1000000, 'x') + " b}" << QStringLiteral("ab");
        QTest::newRow("long parameter")
            << "{\\rtf1 a\\fs" + QByteArray(1000000, '9') + " b}" << QStringLiteral("ab");
        QByteArray fonts = "{\\rtf1{\\fonttbl";
        for (int i = 0; i < 20000; ++i)
            fonts += "{\\f" + QByteArray::number(i) + " " + QByteArray(300, 'n') + ";}";
        QTest::newRow("huge font table") << fonts + "}\\f19999 a}" << QStringLiteral("a");
        QByteArray colors = "{\\rtf1{\\colortbl";
        for (int i = 0; i < 20000; ++i)
            colors += "\\red1;";
        QTest::newRow("huge colour table") << colors + "}\\cf19999 a}" << QStringLiteral("a");
        QTest::newRow("uc huge") << QByteArray("{\\rtf1\\uc2147483647\\u233 abc}")
                                 << QStringLiteral("\u00e9");
        QTest::newRow("only braces") << QByteArray(100000, '}') << QString();
    }

    void hostile()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QTextDocument doc;
        QTextCursor c(&doc);
        rtf::readRtf(rtf, c);
        QCOMPARE(textOf(doc), text);
    }

    // Every page number a file names is looked up once, quickly.
    void manyCodePages()
    {
        QByteArray rtf = "{\\rtf1";
        for (int i = 0; i < 70000; ++i)
            rtf += "\\ansicpg" + QByteArray::number(i) + "\\'e9";
        QTextDocument doc;
        QTextCursor c(&doc);
        QVERIFY(!rtf::readRtf(rtf, c));
        QCOMPARE(doc.characterCount(), 70001);
    }

    void writerHeaderAndTables()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Base Font"), 10));
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("plain "));
        QTextCharFormat f;
        f.setFontFamilies(QStringList {QStringLiteral("Other; {Font}")});
        f.setForeground(QColor(1, 2, 3));
        f.setFontWeight(QFont::Bold);
        c.insertText(QStringLiteral("bold"), f);
        const QByteArray rtf = rtf::saveBytes(doc);
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1"));
        QVERIFY(rtf.contains("{\\f0\\fnil\\fcharset0 Base Font;}"));
        QVERIFY(rtf.contains("{\\f1\\fnil\\fcharset0 Other \\{Font\\};}"));
        QVERIFY(rtf.contains("{\\colortbl ;\\red1\\green2\\blue3;}"));
        QVERIFY(rtf.contains("\\f0\\fs20\\cf0 plain \\f1\\cf1\\b bold\\par"));
        QVERIFY(rtf.trimmed().endsWith('}'));
        const rtf::RunFormat back = formatOf(rtf, QStringLiteral("bold"));
        QCOMPARE(back.family, QStringLiteral("Other {Font}"));
    }

    void writerEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("ascii") << QStringLiteral("Hello, world!") << QByteArray("Hello, world!");
        QTest::newRow("braces backslash") << QStringLiteral("{a}\\") << QByteArray("\\{a\\}\\\\");
        QTest::newRow("tab line") << QStringLiteral("a\tb\u2028c")
                                  << QByteArray("a\\tab b\\line c");
        QTest::newRow("control chars")
            << QStringLiteral("\x1f\x01\x7f") + QChar(0) << QByteArray("\\'1f\\'01\\'7f\\'00");
        QTest::newRow("cp1252") << QStringLiteral("\u00e9\u20ac\u2026\u00ff\u0081")
                                << QByteArray("\\'e9\\'80\\'85\\'ff\\'81");
        QTest::newRow("unicode") << QStringLiteral("\u0416\uffff")
                                 << QByteArray("\\u1046\\'3f\\u-1\\'3f");
        QTest::newRow("surrogates")
            << QStringLiteral("\U0001F4A9") << QByteArray("\\u-10179\\'3f\\u-9047\\'3f");
        QTest::newRow("object mark") << QStringLiteral("a\ufffcb") << QByteArray("ab");
    }

    void writerEscapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QTextCursor(&doc).insertText(text);
        const QByteArray out = rtf::saveBytes(doc);
        QVERIFY2(out.contains(" " + rtf + "\\par"), out.constData());
        QCOMPARE(textFromRtf(out), QString(text).remove(QChar(0xfffc)));
    }

    // ASCII only, short lines, broken only between tokens: removing the line
    // ends gives a file that reads the same.
    void writerLines()
    {
        QTextDocument doc;
        QTextCursor c(&doc);
        QString longLine;
        for (int i = 0; i < 5000; ++i)
            longLine += QStringLiteral("x\u00e9\u0416\x1f{}\\\t ").at(i % 9);
        c.insertText(longLine);
        QTextCharFormat f;
        f.setFontFamilies(QStringList {QString(120, u'F')});
        f.setFontPointSize(11);
        c.insertText(QStringLiteral("tail"), f);
        const QByteArray rtf = rtf::saveBytes(doc);
        for (const char ch : rtf)
            QVERIFY(static_cast<unsigned char>(ch) < 0x80);
        const QList<QByteArray> lines = rtf.split('\n');
        QVERIFY(lines.size() > 100);
        for (const QByteArray &line : lines) {
            QVERIFY2(line.size() <= 81, line.constData()); // 80 and the CR
            // No backslash before the line end: \ and a line end would be
            // \par, and an escaped backslash there confuses some readers.
            QVERIFY2(!line.endsWith("\\\r"), line.constData());
            QVERIFY(!line.contains('\n'));
        }
        QVERIFY(rtf.contains("\r\n"));
        QByteArray joined = rtf;
        joined.replace("\r\n", "");
        QCOMPARE(textFromRtf(joined), textFromRtf(rtf));
        QCOMPARE(textFromRtf(rtf), longLine + QStringLiteral("tail"));
    }

    // A run with no formatting of its own is written in the default font.
    void writerDefaults()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Writer Default"), 13));
        QTextCursor(&doc).insertText(QStringLiteral("x"));
        const QByteArray rtf = rtf::saveBytes(doc);
        QVERIFY(rtf.contains("Writer Default;"));
        QVERIFY(rtf.contains("\\f0\\fs26\\cf0 x"));
        QTextDocument back;
        back.setDefaultFont(QFont(QStringLiteral("Reader Default"), 8));
        rtf::loadBytes(back, rtf);
        QCOMPARE(back.defaultFont().family(), QStringLiteral("Reader Default"));
        QCOMPARE(runsOf(back),
            (QList<QList<Run>> {{Run {QStringLiteral("x"),
                rtf::RunFormat {QStringLiteral("Writer Default"), 13, false, false, false, false,
                    QColor()}}}}));

        // A default colour is written for runs without a colour of their
        // own; runs with one keep theirs.
        QTextCursor c(&doc);
        c.movePosition(QTextCursor::End);
        QTextCharFormat green;
        green.setForeground(QColor(0, 128, 0));
        c.insertText(QStringLiteral("y"), green);
        const QByteArray colored = rtf::saveBytes(doc, QColor(1, 2, 3));
        QVERIFY(colored.contains("{\\colortbl ;\\red1\\green2\\blue3;\\red0\\green128\\blue0;}"));
        rtf::loadBytes(back, colored);
        const rtf::RunFormat x {
            QStringLiteral("Writer Default"), 13, false, false, false, false, QColor(1, 2, 3)};
        rtf::RunFormat y = x;
        y.color = QColor(0, 128, 0);
        QCOMPARE(runsOf(back),
            (QList<QList<Run>> {{Run {QStringLiteral("x"), x}, Run {QStringLiteral("y"), y}}}));
    }

    // Tables, lists and images pasted into the editor: the text stays.
    void writerStructures()
    {
        QTextDocument doc;
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("before"));
        QTextTable *table = c.insertTable(2, 2);
        table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("a"));
        table->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("d"));
        c.movePosition(QTextCursor::End);
        c.insertList(QTextListFormat::ListDisc);
        c.insertText(QStringLiteral("item"));
        c.insertImage(QStringLiteral("none.png"));
        const QString text = textFromRtf(rtf::saveBytes(doc));
        QCOMPARE(text.split(u'\n', Qt::SkipEmptyParts),
            (QStringList {QStringLiteral("before"), QStringLiteral("a"), QStringLiteral("d"),
                QStringLiteral("item")}));
    }

    void roundTrip_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 200; ++seed)
            QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }

    // Document, RTF, document: the same text and the same formatting, and
    // the writer gives the same bytes again.
    void roundTrip()
    {
        QFETCH(quint32, seed);
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 11));
        generate(doc, seed);
        const QByteArray rtf = rtf::saveBytes(doc);
        QTextDocument back;
        back.setDefaultFont(QFont(QStringLiteral("Other Default"), 9));
        rtf::loadBytes(back, rtf);
        QCOMPARE(back.toRawText(), doc.toRawText());
        QCOMPARE(cp1252::encode(back.toRawText()), cp1252::encode(doc.toRawText()));
        const auto want = runsOf(doc);
        const auto got = runsOf(back);
        if (got != want)
            QCOMPARE(describe(got), describe(want));
        QTextDocument same;
        same.setDefaultFont(doc.defaultFont());
        rtf::loadBytes(same, rtf);
        QCOMPARE(rtf::saveBytes(same), rtf);
    }

    void roundTripEdges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("one empty line") << QStringLiteral("\n");
        QTest::newRow("trailing empty lines") << QStringLiteral("a\n\n\n");
        QTest::newRow("leading empty lines") << QStringLiteral("\n\na");
        QTest::newRow("spaces") << QStringLiteral("  a  \n   ");
        QTest::newRow("digits after par") << QStringLiteral("a\n5\n-3");
    }

    void roundTripEdges()
    {
        QFETCH(QString, text);
        QTextDocument doc;
        doc.setPlainText(text);
        QTextDocument back;
        rtf::loadBytes(back, rtf::saveBytes(doc));
        QCOMPARE(back.toPlainText(), text);
        QCOMPARE(back.blockCount(), doc.blockCount());
    }

    // An encrypted block's bytes, saved and read back, are the same bytes.
    void encryptedBlock()
    {
        QByteArray block = "[Encrypted_By_Velmorandquist][Begin_Encryption]";
        QRandomGenerator rng(7);
        for (int i = 0; i < 3000; ++i) {
            if (i % 64 == 63)
                block += "\r\n";
            else
                block += char(rng.bounded(2) ? 31 : 32 + rng.bounded(224));
        }
        block += "[End_Encryption]";
        QTextDocument doc;
        QTextCursor(&doc).insertText(cp1252::decode(block).replace(
            QStringLiteral("\r\n"), QString(QChar::ParagraphSeparator)));
        QTextDocument back;
        rtf::loadBytes(back, rtf::saveBytes(doc));
        QCOMPARE(cp1252::encode(back.toRawText()), block);
    }

    void plainText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("abc") << QStringLiteral("abc");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac")
                               << QStringLiteral("caf\u00e9 \u20ac");
        QTest::newRow("utf-8 bom")
            << QByteArray("\xef\xbb\xbfx\xc3\xa9") << QStringLiteral("x\u00e9");
        QTest::newRow("cp1252") << QByteArray("caf\xe9 \x80") << QStringLiteral("caf\u00e9 \u20ac");
        QTest::newRow("truncated utf-8 is cp1252")
            << QByteArray("a\xc3") << QStringLiteral("a\u00c3");
        QTest::newRow("line ends")
            << QByteArray("a\nb\r\nc\rd\n\re") << QStringLiteral("a\nb\nc\nd\n\ne");
        QTest::newRow("final line end") << QByteArray("a\r\n") << QStringLiteral("a\n");
        QTest::newRow("control chars") << QByteArray("a\x1f\tb") << QStringLiteral("a\x1f\tb");
        QTest::newRow("rtf-like") << QByteArray("\\foobar\n") << QStringLiteral("\\foobar\n");
        QTest::newRow("frame marks") << QByteArray("a\xef\xb7\x90"
                                                   "b")
                                     << QStringLiteral("a\ufffdb");
    }

    void plainText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Plain Default"), 10));
        rtf::loadBytes(doc, bytes);
        QCOMPARE(textOf(doc), text);
        // No formatting of its own: the editor's font applies.
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it)
                QVERIFY(it.fragment().charFormat().properties().isEmpty());
        }
    }

    void loadReplacesEverything()
    {
        QTextDocument doc;
        const QFont font(QStringLiteral("Kept Font"), 14);
        doc.setDefaultFont(font);
        QTextCursor c(&doc);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        c.insertText(QStringLiteral("old text"), bold);
        c.insertBlock();
        c.insertText(QStringLiteral("more"));
        rtf::loadBytes(doc, "new");
        QCOMPARE(doc.toPlainText(), QStringLiteral("new"));
        QCOMPARE(doc.defaultFont(), font);
        QVERIFY(!rtf::resolvedFormat(QTextCursor(&doc).charFormat(), font).bold);
        QVERIFY(!doc.isModified());
        QVERIFY(doc.isUndoRedoEnabled());
        QVERIFY(!doc.isUndoAvailable());
        QVERIFY(!doc.isRedoAvailable());

        doc.setUndoRedoEnabled(false);
        rtf::loadBytes(doc, "{\\rtf1 x}");
        QVERIFY(!doc.isUndoRedoEnabled());
        QCOMPARE(doc.toPlainText(), QStringLiteral("x"));
    }

    void files()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.vlq"));
        QTextDocument doc;
        generate(doc, 99);
        rtf::saveFile(doc, path);
        QCOMPARE(fileBytes(path), rtf::saveBytes(doc));
        QTextDocument back;
        rtf::loadFile(back, path);
        QCOMPARE(back.toRawText(), doc.toRawText());

        // Replacing an existing file keeps no temporary files behind.
        QTextDocument other;
        other.setPlainText(QStringLiteral("other"));
        rtf::saveFile(other, path);
        rtf::loadFile(back, path);
        QCOMPARE(back.toPlainText(), QStringLiteral("other"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList {QStringLiteral("doc.vlq")});

        QVERIFY(writeFile(path, "plain\r\ntext"));
        rtf::loadFile(back, path);
        QCOMPARE(back.toPlainText(), QStringLiteral("plain\ntext"));
    }

    void fileErrors()
    {
        QTemporaryDir dir;
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("kept"));
        const QString missing = dir.filePath(QStringLiteral("missing.vlq"));
        QCOMPARE(errorOf([&] { rtf::loadFile(doc, missing); }),
            QStringLiteral("Cannot open file ") + missing);
        QCOMPARE(errorOf([&] { rtf::loadFile(doc, dir.path()); }),
            QStringLiteral("Cannot open file ") + dir.path());
        QCOMPARE(
            errorOf([&] { rtf::loadFile(doc, QString()); }), QStringLiteral("Cannot open file "));
        QCOMPARE(errorOf([&] { rtf::loadFile(doc, QStringLiteral("rel/%1 x")); }),
            QStringLiteral("Cannot open file rel/%1 x"));
        QCOMPARE(doc.toPlainText(), QStringLiteral("kept"));

        // Opens, then fails to read.
        QCOMPARE(errorOf([&] { rtf::loadFile(doc, QStringLiteral("/proc/self/mem")); }),
            QStringLiteral("Failed to Load Stream"));

        const QString inMissingDir = dir.filePath(QStringLiteral("no/such/dir.vlq"));
        QCOMPARE(errorOf([&] { rtf::saveFile(doc, inMissingDir); }),
            QStringLiteral("Cannot create file ") + inMissingDir);
        QCOMPARE(errorOf([&] { rtf::saveFile(doc, dir.path()); }),
            QStringLiteral("Cannot create file ") + dir.path());
        QCOMPARE(
            errorOf([&] { rtf::saveFile(doc, QString()); }), QStringLiteral("Cannot create file "));

        const QString readOnly = dir.filePath(QStringLiteral("ro.vlq"));
        QVERIFY(writeFile(readOnly, "old"));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
        QCOMPARE(errorOf([&] { rtf::saveFile(doc, readOnly); }),
            QStringLiteral("Cannot create file ") + readOnly);
        QCOMPARE(fileBytes(readOnly), QByteArray("old"));
    }

    void unreadableFile()
    {
        if (geteuid() == 0)
            QSKIP("root reads every file");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("secret.vlq"));
        QVERIFY(writeFile(path, "x"));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        QTextDocument doc;
        QCOMPARE(
            errorOf([&] { rtf::loadFile(doc, path); }), QStringLiteral("Cannot open file ") + path);
    }

    // A save that fails while writing leaves the old file as it was.
    void failedSaveKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("good.vlq"));
        QVERIFY(writeFile(path, "{\\rtf1 the good file}"));
        QTextDocument big;
        big.setPlainText(QString(200000, u'x'));
        rlimit old {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = 50000;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const QString error = errorOf([&] { rtf::saveFile(big, path); });
        QVERIFY(setrlimit(RLIMIT_FSIZE, &old) == 0);
        QCOMPARE(error, QStringLiteral("Failed to Save Stream"));
        QCOMPARE(fileBytes(path), QByteArray("{\\rtf1 the good file}"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList {QStringLiteral("good.vlq")});
    }

    // What is not a regular file is refused before it is opened, so that a
    // FIFO or a device cannot block or fill memory; links are followed.
    void nonRegularFiles()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString toFifo = dir.filePath(QStringLiteral("to-fifo"));
        QVERIFY(QFile::link(fifo, toFifo));
        const QString real = dir.filePath(QStringLiteral("real.vlq"));
        QVERIFY(writeFile(real, "{\\rtf1 linked}"));
        const QString toReal = dir.filePath(QStringLiteral("to-real"));
        QVERIFY(QFile::link(real, toReal));
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("kept"));
        for (const QString &name : {fifo, toFifo, QStringLiteral("/dev/zero"),
                 QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("to-nothing"))}) {
            if (name.endsWith(QLatin1String("to-nothing")))
                QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), name));
            QCOMPARE(errorOf([&] { rtf::loadFile(doc, name); }),
                QStringLiteral("Cannot open file ") + name);
            QCOMPARE(doc.toPlainText(), QStringLiteral("kept"));
        }
        rtf::loadFile(doc, toReal);
        QCOMPARE(doc.toPlainText(), QStringLiteral("linked"));
        // Nor is a FIFO written to.
        QCOMPARE(errorOf([&] { rtf::saveFile(doc, toFifo); }),
            QStringLiteral("Cannot create file ") + toFifo);
    }

    // A save keeps the file: its inode with its other hard links, its mode,
    // its owner, and a symbolic link stays a link to it.
    void saveKeepsFileIdentity()
    {
        QTemporaryDir dir;
        const auto statOf = [](const QString &path) {
            struct stat st
            {
            };
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
                st.st_ino = 0;
            return st;
        };
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("new text"));
        const QByteArray saved = rtf::saveBytes(doc);

        // Another hard link sees the new content, not the old plain text.
        const QString path = dir.filePath(QStringLiteral("doc.vlq"));
        const QString link = dir.filePath(QStringLiteral("hard.vlq"));
        QVERIFY(writeFile(path, "old plain text"));
        QCOMPARE(
            ::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const ino_t inode = statOf(path).st_ino;
        rtf::saveFile(doc, path);
        QCOMPARE(fileBytes(link), saved);
        QCOMPARE(statOf(path).st_ino, inode);
        QCOMPARE(statOf(path).st_mode & 07777, mode_t(0600));

        // Through a symbolic link: the link stays, its target is written.
        const QString symlink = dir.filePath(QStringLiteral("sym.vlq"));
        QVERIFY(QFile::link(path, symlink));
        QVERIFY(writeFile(path, "old"));
        rtf::saveFile(doc, symlink);
        QVERIFY(S_ISLNK(statOf(symlink).st_mode));
        QCOMPARE(fileBytes(link), saved);

        // A link to a file not there yet stays a link to the new file.
        const QString dangling = dir.filePath(QStringLiteral("dangling.vlq"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("later.vlq")), dangling));
        rtf::saveFile(doc, dangling);
        QVERIFY(S_ISLNK(statOf(dangling).st_mode));
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("later.vlq"))), saved);

        // A file of its own is replaced atomically, and keeps its mode.
        const QString single = dir.filePath(QStringLiteral("single.vlq"));
        QVERIFY(writeFile(single, "old"));
        QVERIFY(QFile::setPermissions(
            single, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::link(single, dir.filePath(QStringLiteral("sym-single.vlq"))));
        rtf::saveFile(doc, dir.filePath(QStringLiteral("sym-single.vlq")));
        QCOMPARE(fileBytes(single), saved);
        QCOMPARE(statOf(single).st_mode & 07777, mode_t(0644));

        // Read-only stays read-only, with or without other links.
        QVERIFY(writeFile(path, "old"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        QCOMPARE(errorOf([&] { rtf::saveFile(doc, link); }),
            QStringLiteral("Cannot create file ") + link);
        QCOMPARE(fileBytes(path), QByteArray("old"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));

        // A file of another owner and group keeps them (root can save it).
        if (::geteuid() == 0) {
            const QString others = dir.filePath(QStringLiteral("others.vlq"));
            QVERIFY(writeFile(others, "old"));
            QCOMPARE(::chown(QFile::encodeName(others).constData(), 65534, 65534), 0);
            const ino_t othersInode = statOf(others).st_ino;
            rtf::saveFile(doc, others);
            QCOMPARE(fileBytes(others), saved);
            QCOMPARE(statOf(others).st_ino, othersInode);
            QCOMPARE(statOf(others).st_uid, uid_t(65534));
            QCOMPARE(statOf(others).st_gid, gid_t(65534));
        }

        // A write that fails half-way puts the old content back, in both
        // names, and leaves no backup behind.
        QTextDocument big;
        big.setPlainText(QString(200000, u'x'));
        QVERIFY(writeFile(path, "{\\rtf1 the good file}"));
        rlimit old {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = 50000;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const QString error = errorOf([&] { rtf::saveFile(big, link); });
        QVERIFY(setrlimit(RLIMIT_FSIZE, &old) == 0);
        QCOMPARE(error, QStringLiteral("Failed to Save Stream"));
        QCOMPARE(fileBytes(path), QByteArray("{\\rtf1 the good file}"));
        QCOMPARE(statOf(path).st_ino, inode);
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeOne(QStringLiteral("others.vlq"));
        QCOMPARE(names,
            (QStringList {QStringLiteral("dangling.vlq"), QStringLiteral("doc.vlq"),
                QStringLiteral("hard.vlq"), QStringLiteral("later.vlq"),
                QStringLiteral("single.vlq"), QStringLiteral("sym-single.vlq"),
                QStringLiteral("sym.vlq")}));
    }

    // unrtf, another reader, gets the same text out of our files.
    void unrtfAgrees_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }

    void unrtfAgrees()
    {
        QFETCH(quint32, seed);
        const QString unrtf = QStringLiteral("/usr/bin/unrtf");
        if (!QFileInfo::exists(unrtf))
            QSKIP("unrtf is not installed");
        QTemporaryDir dir;
        // unrtf writes non-ASCII text as raw bytes unless told to write &#N;.
        const QString conf = dir.filePath(QStringLiteral("conf"));
        QVERIFY(QDir().mkpath(conf));
        for (const QString &name :
            QDir(QStringLiteral("/usr/share/unrtf")).entryList(QDir::Files)) {
            QByteArray bytes = fileBytes(QStringLiteral("/usr/share/unrtf/") + name);
            if (name == QStringLiteral("text.conf"))
                bytes += "\nunisymbol_print\n\t&#%;\n";
            QVERIFY(writeFile(conf + u'/' + name, bytes));
        }
        QTextDocument doc;
        generate(doc, seed, true);
        const QString path = dir.filePath(QStringLiteral("doc.rtf"));
        rtf::saveFile(doc, path);

        QProcess p;
        p.start(unrtf,
            {QStringLiteral("--nopict"), QStringLiteral("-P"), conf, QStringLiteral("--text"),
                path});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        // unrtf's own header: up to a line of dashes (absent when there is
        // no text) and lines starting "###".
        QString out = QString::fromLatin1(p.readAllStandardOutput());
        const qsizetype dashes = out.indexOf(QStringLiteral("-----------------\n"));
        if (dashes >= 0)
            out = out.mid(dashes + 18);
        static const QRegularExpression header(
            QStringLiteral("^###.*$"), QRegularExpression::MultilineOption);
        out.remove(header);
        // Decode &#N;, joining UTF-16 halves.
        static const QRegularExpression entity(QStringLiteral("&#(\\d+);"));
        QString decoded;
        qsizetype last = 0;
        for (const auto &m : entity.globalMatch(out)) {
            decoded += out.mid(last, m.capturedStart() - last);
            decoded += QChar(char16_t(m.captured(1).toUInt()));
            last = m.capturedEnd();
        }
        decoded += out.mid(last);

        // The corpus rule: line ends, white space runs and empty lines aside.
        auto lines = [](QString s) {
            s.replace(QChar::LineSeparator, u'\n');
            s.replace(QChar::ParagraphSeparator, u'\n');
            QStringList out;
            for (const QString &line : s.split(u'\n')) {
                const QString t = line.simplified();
                if (!t.isEmpty())
                    out.append(t);
            }
            return out;
        };
        // unrtf drops the three special spaces and hyphens; so do we here.
        QString ours = doc.toRawText();
        ours.remove(QChar(0xad)).remove(QChar(0x2011)).replace(QChar(0xa0), u' ');
        decoded.remove(QChar(0xad)).remove(QChar(0x2011)).replace(QChar(0xa0), u' ');
        QCOMPARE(lines(decoded), lines(ours));
    }
};

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
