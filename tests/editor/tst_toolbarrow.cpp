// The toolbar rows: names for screen readers, sharp pictures, captions that
// fit, and the caption row's letters in the main window.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "editor/toolbarrow.h"
#include "gui/richedit.h"
#include "tests/support/scriptedmodal.h"
#include "widgets/flatbutton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QTest>

using editor::ToolbarRow;
using widgets::FlatButton;

class TestToolbarRow : public QObject
{
    Q_OBJECT

private slots:
    void namedSharpAndUnclipped()
    {
        const QStringList names = {
            "New", "Open", "Save", "Copy All", "Paste", "Encrypt", "Decrypt", "Quick Mail"};
        for (const bool captions : {true, false}) {
            ToolbarRow row(
                captions ? "Panel3" : "Panel1", captions, captions ? 41 : 27, captions ? 37 : 23);
            row.resize(600, row.height());
            row.show();
            QVERIFY(QTest::qWaitForWindowExposed(&row));
            for (int i = 0; i < ToolbarRow::kButtonCount; ++i) {
                auto *b = qobject_cast<FlatButton *>(row.button(ToolbarRow::Button(i)));
                QVERIFY(b);
                QCOMPARE(b->accessibleName(), names[i]);
                QCOMPARE(b->toolTip(), names[i]);
                QCOMPARE(b->glyph().devicePixelRatio(), row.devicePixelRatioF());
                QVERIFY(b->rect().contains(b->glyphRect()));
                if (captions) {
                    QVERIFY(b->rect().contains(b->captionRect()));
                    QVERIFY(!b->glyphRect().intersects(b->captionRect()));
                    // The whole caption is shown, not cut short with an ellipsis.
                    QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(names[i])
                            <= b->captionRect().width(),
                        qPrintable(names[i]));
                }
            }
        }
    }

    void lettersOfTheCaptionRow()
    {
        testsupport::ScriptedModal ui;
        editor::Program program({}, editor::StartupOptions::quiet());
        editor::MainWindow &w = program.mainWindow();
        testsupport::activateWindow(&w);
        QAbstractButton *open = w.captionRow().button(ToolbarRow::Open);
        QAbstractButton *newButton = w.captionRow().button(ToolbarRow::New);
        QAbstractButton *encrypt = w.captionRow().button(ToolbarRow::Encrypt);
        ui.fileAnswers = {std::nullopt, std::nullopt};
        // A letter of its own presses the button at once.
        QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(ui.fileRequests.size(), 1);
        QCOMPARE(ui.fileRequests[0].title, QString("Velmorandquist - Save File:"));

        // O is the Options menu's letter too: the presses go round the
        // button and the menu; Enter presses the button reached.
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        QVERIFY(open->hasFocus());
        QCOMPARE(ui.fileRequests.size(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::AltModifier);
        auto *options = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(options);
        QCOMPARE(options->title(), QString("&Options"));
        QCOMPARE(options->activeAction(), options->actions().constFirst());
        // Pressed again with Alt held, the letter reaches the open menu,
        // which closes, and goes on.
        QTest::sendKeyEvent(QTest::Press, options, Qt::Key_O, 'o', Qt::AltModifier);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(open->hasFocus());
        QTest::keyClick(open, Qt::Key_O, Qt::AltModifier);
        QVERIFY(QApplication::activePopupWidget() == options);
        // Pressed anew (Alt first, which closes the menu) it goes on too.
        QTest::keyClick(options, Qt::Key_O, Qt::AltModifier);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(open->hasFocus());
        QTest::keyClick(open, Qt::Key_O, Qt::AltModifier);
        QVERIFY(QApplication::activePopupWidget() == options);
        QTest::keyClick(options, Qt::Key_Escape);
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        QVERIFY(open->hasFocus());
        // Escape leaves the button for the document.
        QTest::keyClick(open, Qt::Key_Escape);
        QVERIFY(w.editor().hasFocus());
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        QVERIFY(open->hasFocus());
        QTest::keyClick(open, Qt::Key_Return);
        QCOMPARE(ui.fileRequests.size(), 2);
        QCOMPARE(ui.fileRequests[1].title, QString("Velmorandquist - Open File:"));
        // The command done, the document has the keyboard again.
        QVERIFY(w.editor().hasFocus());

        // With Encrypt disabled (no text), N is New's alone.
        QTest::mouseClick(w.editor().viewport(), Qt::LeftButton);
        QVERIFY(w.isModified());
        QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].caption, QString("SAVE CHANGES?"));
        // With text, the presses go round New and Encrypt; Space presses.
        QTest::keyClicks(&w.editor(), "abc");
        QVERIFY(encrypt->isEnabled());
        QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
        QVERIFY(newButton->hasFocus());
        QTest::keyClick(newButton, Qt::Key_N, Qt::AltModifier);
        QVERIFY(encrypt->hasFocus());
        QTest::keyClick(encrypt, Qt::Key_N, Qt::AltModifier);
        QVERIFY(newButton->hasFocus());
        QTest::keyClick(newButton, Qt::Key_N, Qt::AltModifier);
        QTest::keyClick(encrypt, Qt::Key_Space);
        QVERIFY(ui.log.contains("modal TForm2"));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(w.editor().text(), QByteArray("abc"));
    }
};

QTEST_MAIN(TestToolbarRow)
#include "tst_toolbarrow.moc"
