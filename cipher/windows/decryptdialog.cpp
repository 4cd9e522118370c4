#include "cipher/windows/decryptdialog.h"

#include "assets/assets.h"
#include "cipher/strong.h"
#include "cipher/windows/encryptable.h"
#include "cipher/windows/password.h"
#include "widgets/parts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace gui;

namespace cipher::windows {

DecryptDialog::DecryptDialog(Encryptable &document, QWidget *parent)
    : Form(QStringLiteral("TForm3"), QStringLiteral("Velmorandquist"), QSize(216, 92), parent)
    , m_document(document)
{
    QFrame *panel = widgets::bevelPanel(this, QRect(0, 0, 216, 92));
    panel->setObjectName(QStringLiteral("Panel1"));
    auto *label = new QLabel(QStringLiteral("Enter Password:"), panel);
    label->setObjectName(QStringLiteral("Label1"));
    label->setGeometry(10, 8, 196, 17);
    m_password =
        widgets::passwordField(panel, QRect(10, 26, 196, 22), int(strong::kMaxPasswordBytes));
    m_password->setObjectName(QStringLiteral("Edit1"));
    label->setBuddy(m_password);
    QPushButton *decryptButton = widgets::glyphButton(panel, QStringLiteral("&Decrypt"),
        assets::icon(QStringLiteral("glyphs/decrypt")), QRect(10, 58, 94, 25));
    decryptButton->setObjectName(QStringLiteral("BitBtn6"));
    decryptButton->setToolTip(QStringLiteral("Decript Text"));
    QPushButton *cancelButton = widgets::glyphButton(panel, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(112, 58, 94, 25));
    cancelButton->setObjectName(QStringLiteral("BitBtn2"));
    setTabOrder(decryptButton, cancelButton);
    setTabOrder(cancelButton, m_password);

    connect(decryptButton, &QPushButton::clicked, this, &DecryptDialog::decrypt);
    connect(cancelButton, &QPushButton::clicked, this, &DecryptDialog::cancel);
    m_password->installEventFilter(this);
}

void DecryptDialog::onActivate()
{
    m_password->clear();
    m_password->setFocus();
}

bool DecryptDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_password && event->type() == QEvent::KeyPress
        && widgets::isEnter(static_cast<QKeyEvent *>(event)->key())) {
        decrypt();
        return true;
    }
    return Form::eventFilter(watched, event);
}

void DecryptDialog::hideEvent(QHideEvent *event)
{
    m_password = widgets::renewPasswordField(m_password);
    m_password->installEventFilter(this);
    Form::hideEvent(event);
}

void DecryptDialog::decrypt()
{
    QString password = m_password->text();
    const service::Result result = m_document.decrypt(password);
    wipe(password);
    tell(result);
    // An empty key cannot decipher anything: asked again. Everything else
    // ends here; a wrong password leaves the block as it was, so the user
    // simply tries again.
    if (result.verdict() == service::Verdict::EmptyPassword) {
        m_password->setFocus();
        return;
    }
    done(QDialog::Accepted);
}

void DecryptDialog::cancel()
{
    m_password->setText(QString());
    done(QDialog::Accepted);
}

} // namespace cipher::windows
