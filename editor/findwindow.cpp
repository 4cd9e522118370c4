#include "editor/findwindow.h"

#include "gui/modal.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace editor {

FindWindow::FindWindow(QTextEdit &editor, QWidget *parent)
    : QDialog(parent)
    , m_editor(editor)
{
    setObjectName(QStringLiteral("FindWindow"));
    setModal(false);

    auto *findLabel = new QLabel(QStringLiteral("Fi&nd what:"), this);
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("FindText"));
    m_find->setAccessibleName(QStringLiteral("Find what"));
    findLabel->setBuddy(m_find);
    m_replaceLabel = new QLabel(QStringLiteral("Re&place with:"), this);
    m_replaceWith = new QLineEdit(this);
    m_replaceWith->setObjectName(QStringLiteral("ReplaceText"));
    m_replaceWith->setAccessibleName(QStringLiteral("Replace with"));
    m_replaceLabel->setBuddy(m_replaceWith);
    m_matchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    m_matchCase->setObjectName(QStringLiteral("MatchCase"));
    m_wholeWords = new QCheckBox(QStringLiteral("&Whole words"), this);
    m_wholeWords->setObjectName(QStringLiteral("WholeWords"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("Result"));

    m_findNext = new QPushButton(QStringLiteral("&Find Next"), this);
    m_findNext->setObjectName(QStringLiteral("FindNext"));
    m_findNext->setDefault(true);
    m_replace = new QPushButton(QStringLiteral("&Replace"), this);
    m_replace->setObjectName(QStringLiteral("Replace"));
    m_replace->setAutoDefault(false);
    m_replaceAll = new QPushButton(QStringLiteral("Replace &All"), this);
    m_replaceAll->setObjectName(QStringLiteral("ReplaceAll"));
    m_replaceAll->setAutoDefault(false);
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setObjectName(QStringLiteral("Close"));
    m_close->setAutoDefault(false);

    auto *fields = new QGridLayout;
    fields->addWidget(findLabel, 0, 0);
    fields->addWidget(m_find, 0, 1);
    fields->addWidget(m_replaceLabel, 1, 0);
    fields->addWidget(m_replaceWith, 1, 1);
    fields->addWidget(m_matchCase, 2, 0, 1, 2);
    fields->addWidget(m_wholeWords, 3, 0, 1, 2);
    fields->addWidget(m_result, 4, 0, 1, 2);
    fields->setColumnStretch(1, 1);
    fields->setColumnMinimumWidth(1, fontMetrics().averageCharWidth() * 28);
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {m_findNext, m_replace, m_replaceAll, m_close})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_find, m_replaceWith);
    setTabOrder(m_replaceWith, m_matchCase);
    setTabOrder(m_matchCase, m_wholeWords);
    setTabOrder(m_wholeWords, m_findNext);
    setTabOrder(m_findNext, m_replace);
    setTabOrder(m_replace, m_replaceAll);
    setTabOrder(m_replaceAll, m_close);

    connect(m_findNext, &QPushButton::clicked, this, [this] { findNext(); });
    connect(m_replace, &QPushButton::clicked, this, &FindWindow::replace);
    connect(m_replaceAll, &QPushButton::clicked, this, [this] { replaceAll(); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_find, &QLineEdit::textChanged, this, &FindWindow::updateButtons);
    connect(&m_editor, &QTextEdit::textChanged, this, [this] { m_result->clear(); });
    updateButtons();
}

void FindWindow::showFind()
{
    showAs(false);
}

void FindWindow::showReplace()
{
    showAs(true);
}

void FindWindow::showAs(bool replacing)
{
    m_replacing = replacing;
    setWindowTitle(replacing ? QStringLiteral("Replace") : QStringLiteral("Find"));
    m_replaceLabel->setVisible(replacing);
    m_replaceWith->setVisible(replacing);
    m_replace->setVisible(replacing);
    m_replaceAll->setVisible(replacing);
    m_result->clear();
    const QString selected = m_editor.textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)
        && !selected.contains(QChar::LineSeparator))
        m_find->setText(selected);
    show();
    raise();
    activateWindow();
    m_find->setFocus();
    m_find->selectAll();
}

QString FindWindow::findText() const
{
    return m_find->text();
}

QTextDocument::FindFlags FindWindow::flags() const
{
    QTextDocument::FindFlags f;
    if (m_matchCase->isChecked())
        f |= QTextDocument::FindCaseSensitively;
    if (m_wholeWords->isChecked())
        f |= QTextDocument::FindWholeWords;
    return f;
}

void FindWindow::updateButtons()
{
    const bool any = !m_find->text().isEmpty();
    m_findNext->setEnabled(any);
    m_replace->setEnabled(any);
    m_replaceAll->setEnabled(any);
}

void FindWindow::notFound()
{
    gui::messageBox(QStringLiteral("Cannot find \"%1\".").arg(m_find->text()),
        gui::applicationTitle(), gui::Icon::None);
}

bool FindWindow::findNext()
{
    const QString text = m_find->text();
    if (text.isEmpty())
        return false;
    m_result->clear();
    QTextDocument *doc = m_editor.document();
    QTextCursor found = doc->find(text, m_editor.textCursor(), flags());
    if (found.isNull())
        found = doc->find(text, 0, flags());
    if (found.isNull()) {
        notFound();
        return false;
    }
    m_editor.setTextCursor(found);
    m_editor.ensureCursorVisible();
    return true;
}

bool FindWindow::selectionMatches() const
{
    const QTextCursor selection = m_editor.textCursor();
    if (!selection.hasSelection())
        return false;
    const QTextCursor match =
        m_editor.document()->find(m_find->text(), selection.selectionStart(), flags());
    return !match.isNull() && match.selectionStart() == selection.selectionStart()
        && match.selectionEnd() == selection.selectionEnd();
}

void FindWindow::replace()
{
    if (m_find->text().isEmpty())
        return;
    if (selectionMatches()) {
        QTextCursor c = m_editor.textCursor();
        c.insertText(m_replaceWith->text());
        m_editor.setTextCursor(c);
    }
    findNext();
}

int FindWindow::replaceAll()
{
    const QString text = m_find->text();
    if (text.isEmpty())
        return 0;
    QTextDocument *doc = m_editor.document();
    const QString replacement = m_replaceWith->text();
    int count = 0;
    // One edit block: the whole replacement is one step back.
    QTextCursor block(doc);
    QTextCursor found = doc->find(text, 0, flags());
    if (!found.isNull())
        block.beginEditBlock();
    while (!found.isNull()) {
        found.insertText(replacement);
        ++count;
        found = doc->find(text, found, flags());
    }
    if (count == 0) {
        notFound();
        return 0;
    }
    block.endEditBlock();
    m_result->setText(
        count == 1 ? QStringLiteral("1 replaced.") : QStringLiteral("%1 replaced.").arg(count));
    return count;
}

} // namespace editor
