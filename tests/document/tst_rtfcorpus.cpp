// The reader against real files written by other programs: the expected text
// beside each, compared by the corpus README's rule; the malformed files as
// their .expect says; and some formatting the files state.

#include "document/rtfcodec.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace document;

namespace {

QString corpusDir()
{
    return qEnvironmentVariable("VLQ_CORPUS_DIR");
}

QString corpusFile(const QString &name)
{
    return QDir(corpusDir()).filePath(name);
}

// Steps 1 to 6 of the comparison rule: one entry per line, empty ones kept.
QStringList normalizedLines(QString s)
{
    if (s.startsWith(QChar(0xFEFF)))
        s.remove(0, 1);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const char16_t c : {u'\r', u'\u2028', u'\u2029', u'\uFDD0', u'\uFDD1'})
        s.replace(QChar(c), QChar(u'\n'));
    s = s.normalized(QString::NormalizationForm_C);
    s.remove(QChar(0xFFFC));
    for (QChar &c : s) {
        if (c.unicode() >= 0xF020 && c.unicode() <= 0xF0FF)
            c = QChar(char16_t(c.unicode() - 0xF000));
    }
    QStringList lines = s.split(u'\n');
    for (QString &line : lines)
        line = line.simplified();
    return lines;
}

enum class Rule { Plain, List, Table };

// The whole rule: steps 1 to 7, with L or F where the file needs it.
QStringList normalized(const QString &s, Rule rule = Rule::Plain)
{
    static const QRegularExpression label(
        QStringLiteral("^(?:[\u2022\u00B7\u25AA\u25E6*-]|\\d+[.)]|\\p{L}[.)])(?=\\s|$)"));
    QStringList out;
    for (QString line : normalizedLines(s)) {
        if (rule == Rule::List)
            line = line.remove(label).trimmed();
        if (!line.isEmpty())
            out.append(line);
    }
    if (rule == Rule::Table)
        return {out.join(u' ')};
    return out;
}

QString fileText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

QString loaded(const QString &path)
{
    QTextDocument doc;
    rtf::loadFile(doc, path);
    return doc.toRawText();
}

// Where in a loaded document a text starts, with its run's format.
QTextCharFormat formatAt(const QTextDocument &doc, const QString &text)
{
    const QTextCursor c = doc.find(text);
    if (c.isNull())
        return QTextCharFormat();
    QTextCursor at(c);
    at.setPosition(c.selectionStart() + 1);
    return at.charFormat();
}

} // namespace

class TestRtfCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(corpusDir()).isDir(), "VLQ_CORPUS_DIR must name the corpus");
    }

    void wellFormed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rule");
        const QDir dir(corpusDir());
        const QStringList lists = {QStringLiteral("wordpad-bullets-numbered"),
            QStringLiteral("wordpad-gb2312-bullets"), QStringLiteral("wordpad-list")};
        const QStringList tables = {
            QStringLiteral("abiword-table"), QStringLiteral("libreoffice-calcium")};
        int count = 0;
        for (const QString &txt : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
            const QString name = txt.chopped(4);
            const Rule rule = lists.contains(name) ? Rule::List
                : tables.contains(name)            ? Rule::Table
                                                   : Rule::Plain;
            QTest::newRow(qPrintable(name)) << name << int(rule);
            ++count;
        }
        QCOMPARE(count, 27);
    }

    void wellFormed()
    {
        QFETCH(QString, name);
        QFETCH(int, rule);
        const QString got = loaded(corpusFile(name + QStringLiteral(".rtf")));
        const QString want = fileText(corpusFile(name + QStringLiteral(".txt")));
        QCOMPARE(normalized(got, Rule(rule)), normalized(want, Rule(rule)));
    }

    // Stricter: line for line with steps 1 to 6 only, so empty paragraphs
    // count too (the reference reader also ends the document at the last \par).
    void strictLines_data()
    {
        QTest::addColumn<QString>("name");
        const QDir dir(corpusDir());
        for (const QString &txt : dir.entryList({QStringLiteral("*.txt")}, QDir::Files))
            QTest::newRow(qPrintable(txt.chopped(4))) << txt.chopped(4);
    }

    void strictLines()
    {
        QFETCH(QString, name);
        QStringList got = normalizedLines(loaded(corpusFile(name + QStringLiteral(".rtf"))));
        QStringList want = normalizedLines(fileText(corpusFile(name + QStringLiteral(".txt"))));
        // The .txt files end with a line feed.
        if (!want.isEmpty() && want.last().isEmpty())
            want.removeLast();
        QCOMPARE(got, want);
    }

    void malformed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("lines");
        const QString hello = QStringLiteral("Hello world in {RTF}\u2026");
        QTest::newRow("bare control word")
            << "malformed-bare-control-word" << QStringList {QStringLiteral("\\foobar")};
        QTest::newRow("empty") << "malformed-empty" << QStringList();
        QTest::newRow("extra close brace") << "malformed-extra-close-brace" << QStringList {hello};
        QTest::newRow("plain text")
            << "malformed-plain-text" << QStringList {QStringLiteral("foobar")};
        QTest::newRow("trailing garbage") << "malformed-trailing-garbage" << QStringList {hello};
        QTest::newRow("truncated") << "malformed-truncated" << QStringList {hello};
    }

    void malformed()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, lines);
        QTextDocument doc;
        rtf::loadFile(doc, corpusFile(name + QStringLiteral(".rtf")));
        QCOMPARE(normalized(doc.toRawText()), lines);
    }

    // No "{\rtf" signature: the bytes are shown as they are.
    void leadingGarbageIsPlainText()
    {
        const QString path = corpusFile(QStringLiteral("malformed-leading-garbage.rtf"));
        QTextDocument doc;
        rtf::loadFile(doc, path);
        QCOMPARE(doc.toPlainText(), fileText(path));
        QVERIFY(doc.toPlainText().startsWith(QStringLiteral("/{\\rtf1\\deff0")));
    }

    void trailingEmptyParagraphs()
    {
        QTextDocument doc;
        rtf::loadFile(doc, corpusFile(QStringLiteral("malformed-trailing-garbage.rtf")));
        QCOMPARE(doc.toPlainText(), QStringLiteral("Hello world in {RTF}\u2026\n"));
    }

    void formatting_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<QColor>("color");
        QTest::newRow("hello") << "word-hello-escapes"
                               << "Hello"
                               << "Times New Roman" << 16.0 << false << false << false << QColor();
        QTest::newRow("hello braces")
            << "word-hello-escapes"
            << "{RTF}"
            << "Courier New" << 16.0 << true << false << false << QColor();
        QTest::newRow("hello after group")
            << "word-hello-escapes"
            << " in "
            << "Times New Roman" << 12.0 << false << false << false << QColor();
        QTest::newRow("green") << "wordpad-colors-highlight"
                               << "Colored Line"
                               << "Courier New" << 8.5 << false << false << false
                               << QColor(0, 255, 0);
        QTest::newRow("auto colour") << "wordpad-colors-highlight"
                                     << "Normal Line 1"
                                     << "Courier New" << 8.5 << false << false << false << QColor();
        QTest::newRow("white") << "wordpad-colors-highlight"
                               << "Colored & Highlighted"
                               << "Courier New" << 8.5 << false << false << false
                               << QColor(255, 255, 255);
        QTest::newRow("mac bold italic underlined")
            << "textedit-mac-faces"
            << "bold&underlined&italics"
            << "Helvetica-BoldOblique" << 12.0 << true << true << true << QColor();
        QTest::newRow("mac underline off")
            << "textedit-mac-faces"
            << "underlined-off"
            << "Helvetica-BoldOblique" << 12.0 << true << true << false << QColor();
        QTest::newRow("gb font name in hex")
            << "wordpad-gb2312-bullets"
            << "\u65B0\u529F\u80FD"
            << "\u5B8B\u4F53" << 10.0 << true << false << false << QColor();
    }

    void formatting()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(bool, underline);
        QFETCH(QColor, color);
        QTextDocument doc;
        rtf::loadFile(doc, corpusFile(name + QStringLiteral(".rtf")));
        QVERIFY2(!doc.find(text).isNull(), qPrintable(text));
        const rtf::RunFormat f = rtf::resolvedFormat(formatAt(doc, text), doc.defaultFont());
        QCOMPARE(f.family, family);
        QCOMPARE(f.pointSize, points);
        QCOMPARE(f.bold, bold);
        QCOMPARE(f.italic, italic);
        QCOMPARE(f.underline, underline);
        QCOMPARE(f.color, color);
    }
};

QTEST_MAIN(TestRtfCorpus)
#include "tst_rtfcorpus.moc"
