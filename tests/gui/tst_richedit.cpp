// The editor control's 8-bit view of its document, and the byte count and
// marker test it keeps up to date change by change.

#include "document/cp1252.h"
#include "document/rtfcodec.h"
#include "gui/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

using gui::RichEdit;

namespace {
const QString kMarker = QStringLiteral("[Encrypted_By_Velmorandquist][Begin_Encryption]");
}

class TestRichEdit : public QObject
{
    Q_OBJECT

    // What the counters must say, computed from scratch.
    static void checkAgainstFullScan(const RichEdit &edit)
    {
        const QByteArray text = edit.text();
        QCOMPARE(edit.byteCount(), qint64(text.size()));
        QCOMPARE(edit.containsMarker(),
            !edit.marker().isEmpty() && text.contains(edit.marker().toLatin1()));
    }

private slots:
    void textIsWindows1252WithCrLf()
    {
        RichEdit edit;
        edit.setPlainText(QString::fromUtf8("a\u00e9\u20ac\nb\u2028c\u0416\U0001F600"));
        QCOMPARE(edit.text(), QByteArray("a\xe9\x80\r\nb\r\nc??"));
        checkAgainstFullScan(edit);
        edit.setText("x\ry\nz\r\nw");
        QCOMPARE(edit.document()->blockCount(), 4);
        QCOMPARE(edit.text(), QByteArray("x\r\ny\r\nz\r\nw"));
        // Every byte value survives setText and text(), zero and 31 included.
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            if (b != '\r' && b != '\n')
                all.append(char(b));
        edit.setText(all);
        QCOMPARE(edit.text(), all);
        checkAgainstFullScan(edit);
    }

    void commandsAreNotCaretMoves()
    {
        RichEdit edit;
        QSignalSpy moved(&edit, &RichEdit::selectionMoved);
        QSignalSpy changed(&edit, &RichEdit::changed);
        edit.setText("replaced by a command");
        QCOMPARE(moved.count(), 0);
        QVERIFY(changed.count() >= 1);
        QTest::keyClick(&edit, Qt::Key_End);
        QVERIFY(moved.count() >= 1);
    }

    // Random edits, formatting, undo and redo: the counts kept change by
    // change always equal a full scan.
    void countsFollowEveryChange()
    {
        RichEdit edit;
        edit.setMarker(kMarker);
        QRandomGenerator rng(12345);
        const QStringList pieces = {QStringLiteral("abc"), QStringLiteral("\n"), kMarker,
            kMarker.left(20), kMarker.mid(20), QString::fromUtf8("\U0001F600"),
            QString(QChar(QChar::LineSeparator)), QStringLiteral("\n\n\n"),
            QString::fromUtf8("\u00e9\u20ac\u0416")};
        for (int step = 0; step < 2000; ++step) {
            QTextCursor c(edit.document());
            const int len = edit.document()->characterCount() - 1;
            const int a = int(rng.bounded(len + 1));
            const int b = int(rng.bounded(len + 1));
            // Never split a surrogate pair, as a real caret would not.
            auto settle = [&](int pos) {
                c.setPosition(pos);
                c.movePosition(QTextCursor::NextCharacter);
                c.movePosition(QTextCursor::PreviousCharacter);
                return c.position();
            };
            const int from = settle(qMin(a, b));
            const int to = settle(qMax(a, b));
            c.setPosition(from);
            c.setPosition(to, QTextCursor::KeepAnchor);
            switch (rng.bounded(6)) {
            case 0:
            case 1:
                c.insertText(pieces[rng.bounded(pieces.size())]);
                break;
            case 2:
                c.removeSelectedText();
                break;
            case 3: {
                QTextCharFormat f;
                f.setFontWeight(rng.bounded(2) ? QFont::Bold : QFont::Normal);
                c.mergeCharFormat(f);
                break;
            }
            case 4:
                edit.document()->undo();
                break;
            case 5:
                edit.document()->redo();
                break;
            }
            checkAgainstFullScan(edit);
            if (QTest::currentTestFailed()) {
                qWarning() << "after step" << step;
                return;
            }
        }
        edit.clear();
        checkAgainstFullScan(edit);
        QCOMPARE(edit.byteCount(), 0);
    }

    void typedMarkerAcrossLines()
    {
        RichEdit edit;
        // No marker named: nothing counts.
        QTest::keyClicks(&edit, kMarker);
        QVERIFY(!edit.containsMarker());
        // Named afterwards, the text already there counts.
        edit.setMarker(kMarker);
        QVERIFY(edit.containsMarker());
        edit.clear();
        QTest::keyClicks(&edit, kMarker.left(30));
        QVERIFY(!edit.containsMarker());
        QTest::keyClicks(&edit, kMarker.mid(30));
        QVERIFY(edit.containsMarker());
        // A line break inside the marker breaks it.
        QTextCursor c(edit.document());
        c.setPosition(10);
        c.insertBlock();
        QVERIFY(!edit.containsMarker());
        c.deletePreviousChar();
        QVERIFY(edit.containsMarker());
    }

    void pasteKeepsOnlyFormattedParagraphs()
    {
        RichEdit edit;
        auto *mime = new QMimeData;
        mime->setHtml(
            QStringLiteral("<p><b>bold</b> plain</p><table><tr><td>cell1</td><td>cell2</td>"
                           "</tr></table><img src='x.png'><ul><li>item</li></ul>"));
        QGuiApplication::clipboard()->setMimeData(mime);
        edit.paste();
        const QString raw = edit.document()->toRawText();
        QVERIFY(!raw.contains(QChar(QChar::ObjectReplacementCharacter)));
        QVERIFY(!raw.contains(QChar(0xFDD0)) && !raw.contains(QChar(0xFDD1)));
        QVERIFY(raw.contains(QStringLiteral("cell1")));
        QTextCursor c(edit.document());
        c.movePosition(QTextCursor::Right);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
        checkAgainstFullScan(edit);

        // Copying offers RTF to other programs, and RTF pastes back.
        edit.setPlainText(QStringLiteral("round trip"));
        edit.selectAll();
        edit.copy();
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("text/rtf")));
        const QByteArray rtf =
            QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf"));
        auto *only = new QMimeData;
        only->setData(QStringLiteral("text/rtf"), rtf);
        QGuiApplication::clipboard()->setMimeData(only);
        edit.clear();
        edit.paste();
        QCOMPARE(edit.text(), QByteArray("round trip"));
    }

    // The chosen default font and colour go into the file and the clipboard
    // and come back on Open; text with a colour of its own keeps it, and the
    // platform's text colour stays "auto".
    void defaultFormatTravels()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.vlq"));
        const QFont font(QStringLiteral("DejaVu Sans"), 15);
        const QColor red(200, 10, 20);
        const QColor blue(0, 0, 255);
        RichEdit edit;
        edit.setDefaultFormat(font, red);
        QCOMPARE(edit.defaultColor(), red);
        QCOMPARE(edit.document()->defaultFont(), font);
        edit.setPlainText(QStringLiteral("plain"));
        QTextCursor c(edit.document());
        c.movePosition(QTextCursor::End);
        QTextCharFormat own;
        own.setForeground(blue);
        c.insertText(QStringLiteral(" blue"), own);

        const auto colors = [&font](const QTextDocument &doc) {
            QList<QPair<QString, QColor>> out;
            for (auto it = doc.begin().begin(); !it.atEnd(); ++it) {
                const auto f =
                    document::rtf::resolvedFormat(it.fragment().charFormat(), doc.defaultFont());
                if (f.family != font.family() || f.pointSize != 15)
                    out.append({QStringLiteral("wrong font"), QColor()});
                out.append({it.fragment().text(), f.color});
            }
            return out;
        };
        const QList<QPair<QString, QColor>> expected {
            {QStringLiteral("plain"), red}, {QStringLiteral(" blue"), blue}};
        edit.saveToFile(path);
        RichEdit back;
        back.loadFromFile(path);
        QCOMPARE(colors(*back.document()), expected);

        edit.selectAll();
        edit.copy();
        const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
        QTextDocument pasted;
        document::rtf::loadBytes(pasted, copied->data(QStringLiteral("text/rtf")));
        QCOMPARE(colors(pasted), expected);
        QVERIFY(copied->html().contains(red.name(), Qt::CaseInsensitive));
        // Copying left the editor's own text without a colour.
        QVERIFY(
            !QTextCursor(edit.document()).charFormat().hasProperty(QTextFormat::ForegroundBrush));

        // The platform's colour, or none, is "auto" as before.
        for (const QColor &color : {QApplication::palette(&edit).color(QPalette::Text), QColor()}) {
            edit.setDefaultFormat(font, color);
            QCOMPARE(edit.defaultColor(), QApplication::palette(&edit).color(QPalette::Text));
            edit.saveToFile(path);
            back.loadFromFile(path);
            QCOMPARE(
                colors(*back.document()).value(0), qMakePair(QStringLiteral("plain"), QColor()));
        }
    }

    // Lines break at blanks only: a word longer than the line stays whole,
    // which keeps long lines without blanks fast to lay out.
    void wrapsAtBlanksOnly()
    {
        RichEdit edit;
        edit.resize(300, 200);
        edit.show();
        QApplication::processEvents();
        edit.setPlainText(
            QStringLiteral("word ").repeated(100) + u'\n' + QString(5000, u'x') + u' ' + u'y');
        const auto lineEnds = [&edit] {
            edit.document()->documentLayout()->documentSize();
            QList<QChar> ends;
            const QTextBlock words = edit.document()->begin();
            for (int i = 0; i < words.layout()->lineCount(); ++i) {
                const QTextLine line = words.layout()->lineAt(i);
                ends.append(words.text().at(line.textStart() + line.textLength() - 1));
            }
            return qMakePair(ends, words.next().layout()->lineCount());
        };
        auto [ends, longLines] = lineEnds();
        QVERIFY(ends.size() > 3);
        QCOMPARE(ends.count(u' '), ends.size());
        QCOMPARE(longLines, 2);
        edit.setWordWrap(false);
        std::tie(ends, longLines) = lineEnds();
        QCOMPARE(ends.size(), 1);
        QCOMPARE(longLines, 1);
        edit.setWordWrap(true);
        std::tie(ends, longLines) = lineEnds();
        QVERIFY(ends.size() > 3);
        QCOMPARE(longLines, 2);
    }
};

QTEST_MAIN(TestRichEdit)
#include "tst_richedit.moc"
