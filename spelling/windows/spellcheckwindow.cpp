#include "spelling/windows/spellcheckwindow.h"

#include "assets/assets.h"
#include "gui/modal.h"
#include "gui/richedit.h"
#include "gui/spellunderline.h"
#include "spelling/library.h"
#include "widgets/parts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

using namespace gui;

namespace spelling::windows {

namespace {

// How much of the paragraph the context shows on each side of the word.
constexpr qsizetype kContextChars = 70;

QPushButton *commandButton(QWidget *parent, const QString &name, const QString &caption, int top)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(312, top, 116, 25);
    return b;
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, const QRect &at,
    QWidget *buddy)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setGeometry(at);
    l->setBuddy(buddy);
    return l;
}

} // namespace

SpellCheckWindow::SpellCheckWindow(RichEdit &editor, Markers markers, QWidget *parent)
    : Form(QStringLiteral("SpellCheckWindow"), QStringLiteral("Spell Check"), QSize(436, 263),
        parent)
    , m_editor(editor)
    , m_finder(std::move(markers))
{
    m_context = new QTextEdit(this);
    m_context->setObjectName(QStringLiteral("NotInDictionary"));
    m_context->setGeometry(8, 23, 296, 64);
    m_context->setReadOnly(true);
    m_context->setTabChangesFocus(true);
    m_context->setAccessibleName(QStringLiteral("Not in dictionary"));
    label(this, QStringLiteral("Label1"), QStringLiteral("&Not in Dictionary:"),
        QRect(8, 6, 296, 17), m_context);

    m_changeTo = new QLineEdit(this);
    m_changeTo->setObjectName(QStringLiteral("ChangeTo"));
    m_changeTo->setGeometry(8, 110, 296, 22);
    m_changeTo->setAccessibleName(QStringLiteral("Change to"));
    label(this, QStringLiteral("Label2"), QStringLiteral("Change &To:"), QRect(8, 93, 296, 17),
        m_changeTo);

    m_suggestions = new QListWidget(this);
    m_suggestions->setObjectName(QStringLiteral("Suggestions"));
    m_suggestions->setGeometry(8, 155, 296, 72);
    m_suggestions->setAccessibleName(QStringLiteral("Suggestions"));
    label(this, QStringLiteral("Label3"), QStringLiteral("S&uggestions:"), QRect(8, 138, 296, 17),
        m_suggestions);

    m_language = new QComboBox(this);
    m_language->setObjectName(QStringLiteral("Language"));
    m_language->setGeometry(80, 233, 224, 24);
    m_language->setAccessibleName(QStringLiteral("Language"));
    label(this, QStringLiteral("Label4"), QStringLiteral("&Language:"), QRect(8, 236, 70, 17),
        m_language);

    QPushButton *ignore = commandButton(this, QStringLiteral("Ignore"), QStringLiteral("&Ignore"), 23);
    QPushButton *ignoreAll =
        commandButton(this, QStringLiteral("IgnoreAll"), QStringLiteral("I&gnore All"), 52);
    QPushButton *add =
        commandButton(this, QStringLiteral("Add"), QStringLiteral("&Add to Dictionary"), 81);
    QPushButton *change =
        commandButton(this, QStringLiteral("Change"), QStringLiteral("&Change"), 110);
    QPushButton *changeAll =
        commandButton(this, QStringLiteral("ChangeAll"), QStringLiteral("C&hange All"), 139);
    // Enter from the fields and the list changes the word.
    change->setDefault(true);
    QPushButton *close = widgets::glyphButton(this, QStringLiteral("Cl&ose"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(312, 232, 116, 27));
    close->setObjectName(QStringLiteral("Close"));

    setTabOrder(m_changeTo, m_suggestions);
    setTabOrder(m_suggestions, change);
    setTabOrder(change, changeAll);
    setTabOrder(changeAll, ignore);
    setTabOrder(ignore, ignoreAll);
    setTabOrder(ignoreAll, add);
    setTabOrder(add, m_language);
    setTabOrder(m_language, close);
    setTabOrder(close, m_context);

    connect(m_suggestions, &QListWidget::currentTextChanged, m_changeTo, &QLineEdit::setText);
    connect(m_suggestions, &QListWidget::itemDoubleClicked, this, &SpellCheckWindow::changeOne);
    connect(change, &QPushButton::clicked, this, &SpellCheckWindow::changeOne);
    connect(changeAll, &QPushButton::clicked, this, &SpellCheckWindow::changeAll);
    connect(ignore, &QPushButton::clicked, this, &SpellCheckWindow::ignoreOne);
    connect(ignoreAll, &QPushButton::clicked, this, &SpellCheckWindow::ignoreAll);
    connect(add, &QPushButton::clicked, this, &SpellCheckWindow::addWord);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_language, &QComboBox::activated, this, &SpellCheckWindow::chooseLanguage);
}

QString SpellCheckWindow::word() const
{
    return m_word.selectedText();
}

void SpellCheckWindow::run(Library &library, const QString &language)
{
    if (!library.checker(language)) {
        // Listed, but the engine could not read it.
        showError(QStringLiteral("Cannot open the dictionary %1").arg(Library::displayName(language)));
        return;
    }
    const bool found = begin(library, language);
    if (found)
        showModal();
    markInEditor(false);
    m_word = QTextCursor();
    if (!found || m_complete)
        messageBox(QStringLiteral("The spelling check is complete."), applicationTitle(), Icon::None);
}

bool SpellCheckWindow::begin(Library &library, const QString &language)
{
    m_library = &library;
    m_checker = library.checker(language);
    if (!m_checker)
        return false;
    {
        const QSignalBlocker quiet(m_language);
        m_language->clear();
        for (const QString &tag : library.languages())
            m_language->addItem(Library::displayName(tag), tag);
        m_language->setCurrentIndex(m_language->findData(language));
    }

    // From the start of the word the caret is in.
    QTextDocument *doc = m_editor.document();
    const QTextCursor caret = m_editor.textCursor();
    int from = caret.selectionStart();
    m_block = doc->findBlock(from);
    m_blockStartsInside = false;
    for (QTextBlock b = doc->begin(); b.isValid() && b != m_block; b = b.next())
        m_blockStartsInside = m_finder.endsInBlock(b.text(), m_blockStartsInside);
    if (const auto w =
            m_finder.wordAt(m_block.text(), m_blockStartsInside, from - m_block.position()))
        from = m_block.position() + int(w->start);
    m_start = QTextCursor(doc);
    m_start.setPosition(from);
    m_next = m_start;
    m_wrapped = false;
    m_complete = false;
    m_word = QTextCursor();

    bool found = false;
    {
        BusyCursor busy;
        found = findNext();
    }
    if (found)
        showWord();
    return found;
}

bool SpellCheckWindow::findNext()
{
    QTextDocument *doc = m_editor.document();
    for (;;) {
        if (!m_block.isValid())
            return false;
        const QString text = m_block.text();
        const int base = m_block.position();
        bool inside = m_blockStartsInside;
        for (const WordSpan &w : m_finder.words(text, inside)) {
            const int at = base + int(w.start);
            if (at < m_next.position())
                continue;
            if (m_wrapped && at >= m_start.position())
                return false;
            if (m_checker->isCorrect(QStringView(text).sliced(w.start, w.length)))
                continue;
            m_word = QTextCursor(doc);
            m_word.setPosition(at);
            m_word.setPosition(at + int(w.length), QTextCursor::KeepAnchor);
            m_next.setPosition(at + int(w.length));
            return true;
        }
        if (m_wrapped && base + m_block.length() > m_start.position())
            return false;
        const QTextBlock following = m_block.next();
        if (following.isValid()) {
            m_block = following;
            m_blockStartsInside = inside;
        } else {
            if (m_wrapped)
                return false;
            // Once round: on from the start, up to where the walk began.
            m_wrapped = true;
            m_block = doc->begin();
            m_blockStartsInside = false;
        }
        m_next.setPosition(m_block.position());
    }
}

void SpellCheckWindow::next()
{
    bool found = false;
    {
        BusyCursor busy;
        found = findNext();
    }
    if (found) {
        showWord();
        return;
    }
    m_complete = true;
    done(QDialog::Accepted);
}

void SpellCheckWindow::showWord()
{
    const QString word = m_word.selectedText();
    const QTextBlock block = m_word.block();
    const QString text = block.text();
    const qsizetype start = m_word.selectionStart() - block.position();
    const qsizetype end = m_word.selectionEnd() - block.position();
    // The word in the middle of what surrounds it in its paragraph, cut at
    // white space.
    qsizetype from = std::max<qsizetype>(0, start - kContextChars);
    qsizetype to = std::min(text.size(), end + kContextChars);
    while (from > 0 && !text[from - 1].isSpace() && from < start)
        ++from;
    while (to < text.size() && !text[to].isSpace() && to > end)
        --to;
    const QString lead = from > 0 ? QStringLiteral("\u2026") : QString();
    m_context->setPlainText(lead + text.mid(from, to - from)
        + (to < text.size() ? QStringLiteral("\u2026") : QString()));
    // The text takes the format at the cursor, the last word's red and bold
    // after the first stop: only the word is to stand out.
    QTextCursor mark(m_context->document());
    mark.select(QTextCursor::Document);
    mark.setCharFormat(QTextCharFormat());
    mark.setPosition(int(lead.size() + start - from));
    mark.setPosition(int(lead.size() + end - from), QTextCursor::KeepAnchor);
    QTextCharFormat strong;
    strong.setForeground(Qt::red);
    strong.setFontWeight(QFont::Bold);
    mark.mergeCharFormat(strong);
    mark.clearSelection();
    m_context->setTextCursor(mark);
    m_context->ensureCursorVisible();
    m_context->setAccessibleDescription(word);

    const QStringList suggestions = m_checker->suggestions(word);
    m_suggestions->clear();
    m_suggestions->addItems(suggestions);
    if (suggestions.isEmpty())
        m_changeTo->setText(word);
    else
        m_suggestions->setCurrentRow(0);
    markInEditor(true);
}

void SpellCheckWindow::markInEditor(bool on)
{
    // The word shows selected in the editor without moving its caret: a
    // caret move would mark the document modified.
    QList<QTextEdit::ExtraSelection> marks;
    if (on && !m_word.isNull()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = m_word;
        mark.format.setBackground(m_editor.palette().brush(QPalette::Highlight));
        mark.format.setForeground(m_editor.palette().brush(QPalette::HighlightedText));
        marks << mark;
        const QRect r = m_editor.cursorRect(m_word);
        const QRect view = m_editor.viewport()->rect();
        if (!view.contains(r)) {
            QScrollBar *down = m_editor.verticalScrollBar();
            down->setValue(down->value() + r.center().y() - view.height() / 2);
            QScrollBar *across = m_editor.horizontalScrollBar();
            if (r.left() < 0 || r.right() > view.width())
                across->setValue(across->value() + r.left() - view.width() / 2);
        }
    }
    setOwnExtraSelections(m_editor, SpellUnderline::kSpellCheckWindow, marks);
}

QString SpellCheckWindow::replacement() const
{
    QString s = m_changeTo->text();
    s.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

void SpellCheckWindow::changeOne()
{
    const QString with = replacement();
    if (!m_word.isNull() && with != m_word.selectedText()) {
        // The word keeps the formatting of its first character.
        QTextCursor first(m_word);
        first.setPosition(m_word.selectionStart() + 1);
        m_word.insertText(with, first.charFormat());
        m_next.setPosition(m_word.position());
        emit textChanged();
    }
    next();
}

void SpellCheckWindow::changeAll()
{
    const QString word = m_word.selectedText();
    const QString with = replacement();
    if (m_word.isNull() || with == word) {
        next();
        return;
    }
    // Every place the word stands as a word to check, in the whole text.
    QTextDocument *doc = m_editor.document();
    QList<int> places;
    bool inside = false;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        for (const WordSpan &w : m_finder.words(text, inside)) {
            if (QStringView(text).sliced(w.start, w.length) == word)
                places << b.position() + int(w.start);
        }
    }
    // One step in the undo history; from the end, so the places stay put.
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (auto it = places.crbegin(); it != places.crend(); ++it) {
        edit.setPosition(*it + 1);
        const QTextCharFormat format = edit.charFormat();
        edit.setPosition(*it);
        edit.setPosition(*it + int(word.size()), QTextCursor::KeepAnchor);
        edit.insertText(with, format);
    }
    edit.endEditBlock();
    if (!places.isEmpty())
        emit textChanged();
    next();
}

void SpellCheckWindow::ignoreOne()
{
    next();
}

void SpellCheckWindow::ignoreAll()
{
    m_checker->ignore(m_word.selectedText());
    next();
}

void SpellCheckWindow::addWord()
{
    m_checker->add(m_word.selectedText());
    next();
}

void SpellCheckWindow::chooseLanguage(int index)
{
    const QString tag = m_language->itemData(index).toString();
    Checker *checker = m_library ? m_library->checker(tag) : nullptr;
    if (!checker || checker == m_checker)
        return;
    m_checker = checker;
    emit languageChosen(tag);
    // The word shown is judged again, in the new language.
    if (!m_word.isNull())
        m_next.setPosition(m_word.selectionStart());
    next();
}

void SpellCheckWindow::onActivate()
{
    if (m_suggestions->count() > 0)
        m_suggestions->setFocus();
    else
        m_changeTo->setFocus();
    m_changeTo->selectAll();
}

void SpellCheckWindow::hideEvent(QHideEvent *event)
{
    markInEditor(false);
    // The words of the text are the user's, maybe secret: none is kept in
    // the window until its next use.
    m_context->clear();
    m_changeTo->setText(QString());
    m_suggestions->clear();
    Form::hideEvent(event);
}

} // namespace spelling::windows
