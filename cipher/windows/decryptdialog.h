#pragma once

// The decrypt dialog (TForm3): asks for the password once, has the document
// decrypt its block and shows the verdict.

#include "gui/form.h"

class QLineEdit;

namespace cipher::windows {

class Encryptable;

class DecryptDialog : public gui::Form
{
    Q_OBJECT
public:
    explicit DecryptDialog(Encryptable &document, QWidget *parent = nullptr);

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
    Encryptable &m_document;
    QLineEdit *m_password;
};

} // namespace cipher::windows
