#include "mail/windows/passwordwindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace mail::windows {

PasswordWindow::PasswordWindow(const QString &prompt, const QString &whyNoKeyring, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("PasswordWindow"));
    setWindowTitle(QStringLiteral("Quick Mail"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(prompt, this);
    layout->addWidget(label);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    label->setBuddy(m_password);
    layout->addWidget(m_password);
    m_remember = new QCheckBox(QStringLiteral("&Remember"), this);
    m_remember->setObjectName(QStringLiteral("remember"));
    if (whyNoKeyring.isEmpty()) {
        m_remember->setToolTip(QStringLiteral("Keep the password in the desktop's keyring"));
    } else {
        m_remember->setEnabled(false);
        m_remember->setToolTip(
            QStringLiteral("The password cannot be kept: %1. It is asked for at every send.")
                .arg(whyNoKeyring));
    }
    layout->addWidget(m_remember);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

PasswordWindow::~PasswordWindow()
{
    // The typed password goes with the window.
    m_password->setText(QString(m_password->text().size(), QLatin1Char(' ')));
    m_password->clear();
}

QString PasswordWindow::password() const
{
    return m_password->text();
}

bool PasswordWindow::remember() const
{
    return m_remember->isEnabled() && m_remember->isChecked();
}

} // namespace mail::windows
