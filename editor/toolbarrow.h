#pragma once

// One row of the main window's toolbar: the eight command buttons, with their
// captions under the pictures (Panel3) or pictures only (Panel1).

#include <QFrame>
#include <QList>

class QAbstractButton;

namespace editor {

class ToolbarRow : public QFrame
{
    Q_OBJECT
public:
    // The buttons in their order along the row.
    enum Button { New, Open, Save, CopyAll, Paste, Encrypt, Decrypt, QuickMail };
    static constexpr int kButtonCount = 8;

    // A row of the given height whose buttons are buttonHeight high.
    ToolbarRow(const QString &objectName, bool captions, int height, int buttonHeight,
        QWidget *parent = nullptr);

    QAbstractButton *button(Button which) const { return m_buttons[which]; }

signals:
    void pressed(editor::ToolbarRow::Button which);

private:
    QList<QAbstractButton *> m_buttons;
};

} // namespace editor
