// The toolbar rows: names for screen readers, sharp pictures, captions that
// fit, and the caption row's letters in the main window.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "editor/toolbarrow.h"
#include "tests/support/scriptedmodal.h"
#include "widgets/flatbutton.h"

#include <QAbstractButton>
#include <QFontMetrics>
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
        ui.fileAnswers = {std::nullopt, std::nullopt};
        QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(ui.fileRequests.size(), 1);
        QCOMPARE(ui.fileRequests[0].title, QString("Velmorandquist - Save File:"));
        // O is the Options menu's letter too; the button takes it first.
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        QCOMPARE(ui.fileRequests.size(), 2);
        QCOMPARE(ui.fileRequests[1].title, QString("Velmorandquist - Open File:"));
        // Encrypt is disabled at start, so its letter does nothing.
        const int before = ui.log.size();
        QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
        QVERIFY(!ui.log.mid(before).contains("modal TForm2"));
    }
};

QTEST_MAIN(TestToolbarRow)
#include "tst_toolbarrow.moc"
