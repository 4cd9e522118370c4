#pragma once

// Asks for the mail server's password at send time, with a "Remember" box
// for the keyring; the box is disabled, saying why, when no keyring can keep
// it.

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace mail::windows {

class PasswordWindow : public QDialog
{
    Q_OBJECT
public:
    // whyNoKeyring: empty when a keyring can keep the password.
    PasswordWindow(const QString &prompt, const QString &whyNoKeyring, QWidget *parent = nullptr);
    ~PasswordWindow() override;

    QString password() const;
    bool remember() const;

private:
    QLineEdit *m_password;
    QCheckBox *m_remember;
};

} // namespace mail::windows
