#pragma once

// The encrypt dialog (TForm2): asks for the password twice and the level,
// has the document turn its whole text into one encrypted block and shows
// what it refused.

#include "gui/form.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace cipher::windows {

class Encryptable;

class EncryptDialog : public gui::Form
{
    Q_OBJECT
public:
    explicit EncryptDialog(Encryptable &document, QWidget *parent = nullptr);

    // The chosen level, 1 to 4, or service::kOpenPgpPassword.
    int level() const;

    // The Encrypt button: the document checks the passwords, the level's
    // minimum length and the text, then replaces its text by the block; the
    // dialog closes then, and stays with the refusals shown otherwise.
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

    Encryptable &m_document;
    static constexpr int kMethods = 5;
    QRadioButton *m_levels[kMethods];
    QLineEdit *m_password;
    QLineEdit *m_confirmation;
};

} // namespace cipher::windows
