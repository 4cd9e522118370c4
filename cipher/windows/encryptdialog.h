#pragma once

// The encrypt dialog (TForm2): asks for the password twice and the level,
// and turns the editor's whole text into one encrypted block.

#include "gui/form.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace gui {
class RichEdit;
}

namespace cipher::windows {

class EncryptDialog : public gui::Form
{
    Q_OBJECT
public:
    explicit EncryptDialog(gui::RichEdit &editor, QWidget *parent = nullptr);

    // The chosen level, 1 to 4.
    int level() const;

    // The Encrypt button: checks the passwords, the level's minimum length
    // and the text, then replaces the editor's text by the block and closes.
    void encrypt();
    // The Cancel button.
    void cancel();

protected:
    void onActivate() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // Empties both fields, their undo history included.
    void renewFields();
    void refuse(const QString &text);
    void clearPasswords();
    void encryptStrong(QString &password);

    gui::RichEdit &m_editor;
    QRadioButton *m_levels[4];
    QLineEdit *m_password;
    QLineEdit *m_confirmation;
};

} // namespace cipher::windows
