#pragma once

// The decrypt dialog (TForm3): asks for the password once, finds the block in
// the editor's text, deciphers it and reports the verdict.

#include "gui/form.h"

class QLineEdit;

namespace gui {
class RichEdit;
}

namespace cipher::windows {

class DecryptDialog : public gui::Form
{
    Q_OBJECT
public:
    explicit DecryptDialog(gui::RichEdit &editor, QWidget *parent = nullptr);

    // The Decrypt button.
    void decrypt();
    // The Cancel button.
    void cancel();

protected:
    void onActivate() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Nothing typed here outlives the dialog's use: the field is renewed,
    // its undo history with it.
    void hideEvent(QHideEvent *event) override;

private:
    // A level 4 block: its text goes back as Unicode, and only when authentic.
    void decryptStrong();

    gui::RichEdit &m_editor;
    QLineEdit *m_password;
};

} // namespace cipher::windows
