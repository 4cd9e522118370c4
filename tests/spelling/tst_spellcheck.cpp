// Spelling in the real main window with Debian's hunspell-en-us: the Spell
// Check window's walk and commands, checking as you type, the context
// menu's suggestions, and what the settings keep. Added words go to a
// folder of the test's own; a small second dictionary made here gives the
// language choice something to choose.

#include "cipher/cipher.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "gui/spellunderline.h"
#include "settings/store.h"
#include "settings/values.h"
#include "spelling/library.h"
#include "spelling/windows/spellchecking.h"
#include "spelling/windows/spellcheckwindow.h"
#include "tests/support/scriptedmodal.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

using namespace testsupport;
using editor::MainWindow;
using editor::Program;
using editor::StartupOptions;
using spelling::windows::SpellCheckWindow;

namespace {

QByteArray block(const char *plain)
{
    const cipher::Bytes b = cipher::encryptText(plain, "password", 3);
    return QByteArray(b.data(), qsizetype(b.size()));
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestSpellCheck : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_words;
    std::unique_ptr<spelling::Library> m_library;
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<Program> program;
    MainWindow *w = nullptr;

    void start()
    {
        program.reset();
        program = std::make_unique<Program>(QString(), StartupOptions::quiet());
        w = &program->mainWindow();
        QTRY_VERIFY(w->hasStartedUp());
        testsupport::activateWindow(w);
    }
    gui::RichEdit *edit() const { return &w->editor(); }
    gui::SpellUnderline &underline() const { return w->spelling().underline(); }
    QAction &action(const char *name) const { return child<QAction>(*w, name); }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(edit(), c.toLatin1());
    }
    // The words shown underlined, in the text's order.
    QStringList underlined() const
    {
        QStringList out;
        for (const QTextCursor &c : underline().underlined())
            out << c.selectedText();
        return out;
    }
    // A point inside the text at a position, in the viewport.
    QPoint pointAt(int position) const
    {
        QTextCursor c(edit()->document());
        c.setPosition(position);
        return edit()->cursorRect(c).center();
    }
    QString personalList() const
    {
        QFile f(QDir(m_words.path()).filePath(QStringLiteral("en_US.dic")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_words.isValid());
        qputenv("ENCHANT_CONFIG_DIR", QFile::encodeName(m_words.path()));
        // A user's own dictionary, which the engine takes from there too.
        QVERIFY(QDir(m_words.path()).mkpath(QStringLiteral("hunspell")));
        QVERIFY(writeFile(m_words.filePath(QStringLiteral("hunspell/de_DE.aff")), "SET UTF-8\n"));
        QVERIFY(writeFile(m_words.filePath(QStringLiteral("hunspell/de_DE.dic")),
            "3\nSchmetterling\nKartoffel\nund\n"));
        m_library = std::make_unique<spelling::Library>(QStringList {QStringLiteral("hunspell")});
        QCOMPARE(m_library->languages(), QStringList({"de_DE", "en_US"}));
        spelling::installLibrary(m_library.get());
    }
    void init()
    {
        QFile::remove(settings::Store::defaultFilePath());
        ui = std::make_unique<ScriptedModal>();
        start();
    }
    void cleanup()
    {
        program.reset();
        ui.reset();
    }
    void cleanupTestCase()
    {
        spelling::installLibrary(nullptr);
        m_library.reset();
    }

    void walkFromTheCaretWithEveryCommand()
    {
        const QByteArray secret = block("wrold teh brwn");
        const QByteArray before = "Frist line has a wrold.\r\nSecond lne with wrold and teh end.\r\n"
            + secret + "\r\nLast paragraf Zorblax.";
        edit()->setText(before);
        QTextCursor caret(edit()->document());
        caret.setPosition(33); // inside "lne"
        edit()->setTextCursor(caret);
        QSignalSpy steps(edit()->document(), &QTextDocument::undoCommandAdded);

        QStringList seen;
        ui->onModal(QStringLiteral("SpellCheckWindow"), [&](QDialog &d) {
            auto &window = static_cast<SpellCheckWindow &>(d);
            auto &changeTo = child<QLineEdit>(d, "ChangeTo");
            auto &list = child<QListWidget>(d, "Suggestions");
            // What stands out in red and bold in the context: the word only,
            // at every stop.
            const auto marked = [&] {
                QString text;
                const QTextDocument *doc = child<QTextEdit>(d, "NotInDictionary").document();
                for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
                    for (auto f = b.begin(); !f.atEnd(); ++f) {
                        const QTextCharFormat format = f.fragment().charFormat();
                        if (format.fontWeight() == QFont::Bold
                            && format.foreground().color() == Qt::red)
                            text += f.fragment().text();
                    }
                }
                return text;
            };
            const auto press = [&](const char *button) {
                seen << window.word();
                QCOMPARE(marked(), window.word());
                child<QPushButton>(d, button).click();
            };
            QVERIFY(child<QTextEdit>(d, "NotInDictionary").toPlainText().contains("Second lne with"));
            const QList<QListWidgetItem *> line = list.findItems("line", Qt::MatchExactly);
            QVERIFY(!line.isEmpty());
            list.setCurrentItem(line.first());
            QCOMPARE(changeTo.text(), QStringLiteral("line"));
            press("Change");
            QCOMPARE(changeTo.text(), QStringLiteral("world")); // the first suggestion
            press("ChangeAll");
            press("Ignore"); // teh, this once
            press("IgnoreAll"); // paragraf
            press("Add"); // Zorblax
            // Round to the start: typed in, Enter changes it.
            seen << window.word();
            QCOMPARE(marked(), window.word());
            changeTo.setText(QStringLiteral("First"));
            QTest::keyClick(&changeTo, Qt::Key_Return);
            QVERIFY(!d.isVisible());
        });
        action("SpellCheck1").trigger();
        QCOMPARE(seen, QStringList({"lne", "wrold", "teh", "paragraf", "Zorblax", "Frist"}));
        QCOMPARE(ui->messageTexts(), QStringList({"The spelling check is complete."}));
        QCOMPARE(ui->messages.last().caption, QStringLiteral("Velmorandquist"));
        const QByteArray after = "First line has a world.\r\nSecond line with world and teh end.\r\n"
            + secret + "\r\nLast paragraf Zorblax.";
        QCOMPARE(edit()->text(), after);
        QVERIFY(w->isModified());
        QVERIFY(personalList().contains("Zorblax"));
        // Checking as you type heard of the words ignored and added.
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"teh"}));

        // Change, Change All and the last Change: one step each.
        QCOMPARE(steps.size(), 3);
        edit()->undo();
        QVERIFY(edit()->text().startsWith("Frist line has a world."));
        edit()->undo();
        QVERIFY(edit()->text().startsWith("Frist line has a wrold.\r\nSecond line with wrold"));
        edit()->undo();
        QCOMPARE(edit()->text(), before);

        // Closing the window ends the walk without the closing box.
        ui->onModal(QStringLiteral("SpellCheckWindow"), [&](QDialog &d) {
            seen = {static_cast<SpellCheckWindow &>(d).word()};
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        w->spellCheck();
        QCOMPARE(seen, QStringList({"lne"}));
        QCOMPARE(ui->messages.size(), 1);
        // The window's mark on the word is gone; the underline stays.
        QCOMPARE(edit()->extraSelections().size(), underline().underlined().size());
    }

    void languageKeyboardAndNothingToDo()
    {
        // Nothing misspelled: only the box, and nothing changed.
        edit()->setText("All is well.");
        w->spellCheck();
        QCOMPARE(ui->log.filter("modal").size(), 0);
        QCOMPARE(ui->messageTexts(), QStringList({"The spelling check is complete."}));
        QVERIFY(!w->isModified());

        edit()->setText("Schmetterling und wrold");
        QStringList seen;
        ui->onModal(QStringLiteral("SpellCheckWindow"), [&](QDialog &d) {
            auto &window = static_cast<SpellCheckWindow &>(d);
            for (const char *name : {"NotInDictionary", "ChangeTo", "Suggestions", "Language",
                     "Change", "ChangeAll", "Ignore", "IgnoreAll", "Add", "Close"}) {
                QAccessibleInterface *a =
                    QAccessible::queryAccessibleInterface(&child<QWidget>(d, name));
                QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), name);
            }
            seen << window.word();
            // The language by keyboard: the word is German.
            auto &language = child<QComboBox>(d, "Language");
            QCOMPARE(language.currentText(), QStringLiteral("English (United States)"));
            language.setFocus();
            QTest::keyClick(&language, Qt::Key_Up);
            QCOMPARE(language.currentData().toString(), QStringLiteral("de_DE"));
            seen << window.word();
            // A button's letter clicks it as a press would, a moment later.
            QTest::keyClick(&d, Qt::Key_G, Qt::AltModifier); // Ignore All
            QTRY_VERIFY(!d.isVisible());
        });
        w->spellCheck();
        QCOMPARE(seen, QStringList({"Schmetterling", "wrold"}));
        QCOMPARE(ui->messageTexts().size(), 2);
        QVERIFY(!w->isModified());
        QCOMPARE(settings::readSpellingLanguage(), QStringLiteral("de_DE"));
        QCOMPARE(underline().checker()->language(), QStringLiteral("de_DE"));

        // The next start takes the language from the settings.
        start();
        QCOMPARE(underline().checker()->language(), QStringLiteral("de_DE"));
        edit()->setText("Kartoffel hello");
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"hello"}));
    }

    void underlineAsYouType()
    {
        QVERIFY(action("CheckAsYouType1").isChecked() && action("CheckAsYouType1").isEnabled());
        // A whole text: checked after it is set, never the block, a link or
        // an address, and without changing the text.
        edit()->setText("Teh link https://exmaple.org/wrold and me@exmaple.org\r\n"
            + block("wrold teh") + "\r\nlast wrold");
        QSignalSpy changed(edit(), &gui::RichEdit::changed);
        QSignalSpy steps(edit()->document(), &QTextDocument::undoCommandAdded);
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"Teh", "wrold"}));
        QCOMPARE(changed.size() + steps.size(), 0);
        QVERIFY(!w->isModified());
        QTextCursor plain(edit()->document());
        plain.setPosition(1);
        QCOMPARE(plain.charFormat().underlineStyle(), QTextCharFormat::NoUnderline);
        QVERIFY(!edit()->document()->toHtml().contains("underline"));

        // A long text: only what is in view is checked, the block's body
        // never, wherever the view starts.
        QByteArray lines;
        for (int i = 0; i < 400; ++i)
            lines += "so wrold\r\n";
        const QByteArray begin = "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n";
        edit()->setText(lines + begin + lines + "[End_Encryption] teh\r\n" + lines + "lastt");
        QTRY_VERIFY(underline().isUpToDate());
        const QStringList top = underlined();
        QVERIFY(top.size() > 5 && top.size() < 100 && top.count("wrold") == top.size());
        QScrollBar *down = edit()->verticalScrollBar();
        down->setValue(down->maximum() / 2);
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList());
        down->setValue(down->maximum());
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined().last(), QStringLiteral("lastt"));
        QVERIFY(!underlined().contains("teh"));
        down->setValue(down->maximum() * 2 / 3 + 1);
        QTRY_VERIFY(underlined().contains("teh"));
        // A block of megabytes on one line with words around it, the view
        // at its start, at its end and past it on a line of its own.
        QByteArray body;
        for (int i = 0; i < 60000; ++i)
            body += "Zm9vYmFy wrold ";
        edit()->setText("Helo " + begin.trimmed() + body + "[End_Encryption] teh\r\nlastt");
        for (const auto &[at, expected] : {std::pair {0, QStringList {"Helo"}},
                 {down->maximum(), QStringList {"teh", "lastt"}}}) {
            down->setValue(at);
            QTRY_VERIFY(underline().isUpToDate());
            QCOMPARE(underlined(), expected);
        }
        // Its end marker broken and mended there: what follows is in the
        // block, then out of it again.
        QTextCursor marker(edit()->document());
        marker.setPosition(int(edit()->toPlainText().indexOf("] teh")));
        for (const auto &[mend, expected] :
            {std::pair {false, QStringList {}}, {true, QStringList {"teh", "lastt"}}}) {
            if (mend)
                marker.insertText(QStringLiteral("]"));
            else
                marker.deleteChar();
            QTRY_VERIFY(underline().isUpToDate());
            QCOMPARE(underlined(), expected);
        }

        // Typing: a word is marked once the caret leaves it.
        edit()->setText({});
        type(QStringLiteral("Helo"));
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList());
        type(QStringLiteral(" wrold"));
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"Helo"}));
        QTest::keyClick(edit(), Qt::Key_Home);
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"Helo", "wrold"}));

        // Off: every underline goes, and the choice is kept.
        action("CheckAsYouType1").trigger();
        QVERIFY(!action("CheckAsYouType1").isChecked());
        QCOMPARE(underlined(), QStringList());
        QVERIFY(!settings::readCheckAsYouType());
        start();
        QVERIFY(!action("CheckAsYouType1").isChecked());
        QVERIFY(!underline().checker());
        edit()->setText("Teh end");
        action("CheckAsYouType1").trigger();
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"Teh"}));
        QVERIFY(settings::readCheckAsYouType());
    }

    void underlineFollowsEdits()
    {
        // Marks made before are kept where their words are unchanged:
        // whatever an edit does to a marked word, the marks shown, in the
        // editor too, are exactly the misspelled words of the text.
        edit()->setText("Helo wrold teh\r\nsecond teh");
        QTextCursor c(edit()->document());
        const auto expect = [&](const QStringList &words) {
            QTRY_VERIFY(underline().isUpToDate());
            QCOMPARE(underlined(), words);
            QStringList shown;
            for (const QTextEdit::ExtraSelection &s : edit()->extraSelections())
                shown << s.cursor.selectedText();
            QCOMPARE(shown, words);
        };
        expect({"Helo", "wrold", "teh", "teh"});
        c.insertText(QStringLiteral("so ")); // every mark moves
        expect({"Helo", "wrold", "teh", "teh"});
        c.setPosition(int(edit()->toPlainText().indexOf("d teh")));
        c.deleteChar(); // a marked word shrinks
        expect({"Helo", "wrol", "teh", "teh"});
        c.deleteChar(); // two marked words become one
        expect({"Helo", "wrolteh", "teh"});
        c.setPosition(5);
        c.insertText(QStringLiteral("l")); // a marked word is spelled right
        expect({"wrolteh", "teh"});
        edit()->undo();
        expect({"Helo", "wrolteh", "teh"});
    }

    void contextMenuSuggestions()
    {
        edit()->setText("I wrote a wrold and a speling and Qwertzuiop here wrold");
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"wrold", "speling", "Qwertzuiop", "wrold"}));
        QMenu &menu = child<QMenu>(*w, "PopupMenu1");
        const qsizetype standard = menu.actions().size();
        const auto openAt = [&](int position) {
            emit edit()->customContextMenuRequested(pointAt(position));
            return menu.actions();
        };
        const auto find = [&](const QString &text) {
            for (QAction *a : menu.actions()) {
                if (a->text() == text)
                    return a;
            }
            return static_cast<QAction *>(nullptr);
        };

        // A word spelled right, or beside the text: only the usual entries.
        QCOMPARE(openAt(4).size(), standard);
        menu.hide();
        emit edit()->customContextMenuRequested(pointAt(55) + QPoint(20, 0));
        QCOMPARE(menu.actions().size(), standard);
        menu.hide();

        QSignalSpy steps(edit()->document(), &QTextDocument::undoCommandAdded);
        QList<QAction *> offered = openAt(12);
        QCOMPARE(offered.first()->text(), QStringLiteral("world"));
        QVERIFY(find("&Ignore") && find("Add to Dic&tionary"));
        QCOMPARE(offered.size(), standard + menu.actions().indexOf(find("Add to Dic&tionary")) + 2);
        offered.first()->trigger();
        menu.hide();
        QCOMPARE(edit()->text(), QByteArray("I wrote a world and a speling and Qwertzuiop here wrold"));
        QCOMPARE(steps.size(), 1);
        QVERIFY(w->isModified());
        QTRY_COMPARE(menu.actions().size(), standard);

        openAt(25);
        find("&Ignore")->trigger();
        menu.hide();
        openAt(38);
        find("Add to Dic&tionary")->trigger();
        menu.hide();
        QTRY_VERIFY(underline().isUpToDate());
        QCOMPARE(underlined(), QStringList({"wrold"}));
        QVERIFY(personalList().contains("Qwertzuiop"));
        QVERIFY(!personalList().contains("speling"));
        QCOMPARE(edit()->text(), QByteArray("I wrote a world and a speling and Qwertzuiop here wrold"));
    }
};

QTEST_MAIN(TestSpellCheck)
#include "tst_spellcheck.moc"
