#include "cipher/windows/encryptdialog.h"

#include "assets/assets.h"
#include "cipher/strong.h"
#include "cipher/windows/encryptable.h"
#include "cipher/windows/password.h"
#include "widgets/parts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <iterator>

using namespace gui;

namespace cipher::windows {

EncryptDialog::EncryptDialog(Encryptable &document, QWidget *parent)
    : Form(QStringLiteral("TForm2"), QStringLiteral("Velmorandquist"), QSize(302, 171), parent)
    , m_document(document)
{
    QFrame *levelPanel = widgets::bevelPanel(this, QRect(0, 0, 97, 171));
    levelPanel->setObjectName(QStringLiteral("Panel1"));
    auto *levelLabel = new QLabel(QStringLiteral("Encryption Level:"), levelPanel);
    levelLabel->setObjectName(QStringLiteral("Label3"));
    levelLabel->setGeometry(6, 8, 88, 17);
    // The fifth is no level of ours: an OpenPGP message for the password.
    const QString levelCaptions[kMethods] = {QStringLiteral("&Low"), QStringLiteral("&Meduim"),
        QStringLiteral("&High"), QStringLiteral("&Strong"), QStringLiteral("&OpenPGP")};
    for (int i = 0; i < kMethods; ++i) {
        m_levels[i] = new QRadioButton(levelCaptions[i], levelPanel);
        m_levels[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        m_levels[i]->setGeometry(12, 32 + 26 * i, 80, 20);
    }
    m_levels[0]->setChecked(true);
    m_levels[4]->setToolTip(QStringLiteral(
        "An OpenPGP message for the password, which any OpenPGP program opens (gpg -d)"));

    auto *passwordLabel = new QLabel(QStringLiteral("Enter Password:"), this);
    passwordLabel->setObjectName(QStringLiteral("Label1"));
    passwordLabel->setGeometry(106, 4, 190, 17);
    m_password =
        widgets::passwordField(this, QRect(106, 21, 190, 22), int(strong::kMaxPasswordBytes));
    m_password->setObjectName(QStringLiteral("Edit1"));
    auto *confirmLabel = new QLabel(QStringLiteral("Confirm Password:"), this);
    confirmLabel->setObjectName(QStringLiteral("Label2"));
    confirmLabel->setGeometry(106, 45, 190, 17);
    m_confirmation =
        widgets::passwordField(this, QRect(106, 62, 190, 22), int(strong::kMaxPasswordBytes));
    m_confirmation->setObjectName(QStringLiteral("Edit2"));
    passwordLabel->setBuddy(m_password);
    confirmLabel->setBuddy(m_confirmation);

    QPushButton *encryptButton = widgets::glyphButton(this, QStringLiteral("&Encrypt"),
        // At the foot of the dialog, in line with the last level.
        assets::icon(QStringLiteral("glyphs/encrypt")), QRect(106, 141, 92, 25));
    encryptButton->setObjectName(QStringLiteral("BitBtn5"));
    encryptButton->setToolTip(QStringLiteral("Encript Text"));
    QPushButton *cancelButton = widgets::glyphButton(this, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(204, 141, 92, 25));
    cancelButton->setObjectName(QStringLiteral("BitBtn2"));

    setTabOrder(m_password, m_confirmation);
    setTabOrder(m_confirmation, encryptButton);
    setTabOrder(encryptButton, cancelButton);
    setTabOrder(cancelButton, m_levels[0]);

    connect(encryptButton, &QPushButton::clicked, this, &EncryptDialog::encrypt);
    connect(cancelButton, &QPushButton::clicked, this, &EncryptDialog::cancel);
    m_password->installEventFilter(this);
    m_confirmation->installEventFilter(this);
    for (QRadioButton *button : m_levels)
        button->installEventFilter(this);
}

int EncryptDialog::level() const
{
    if (m_levels[4]->isChecked())
        return service::kOpenPgpPassword;
    if (m_levels[3]->isChecked())
        return strong::kLevel;
    if (m_levels[2]->isChecked())
        return 3;
    if (m_levels[1]->isChecked())
        return 2;
    return 1;
}

void EncryptDialog::onActivate()
{
    m_password->clear();
    m_confirmation->clear();
    m_password->setFocus();
}

bool EncryptDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress
        && widgets::isEnter(static_cast<QKeyEvent *>(event)->key())) {
        // Enter in the first field moves on to the second; in the second it
        // encrypts.
        if (watched == m_password) {
            m_confirmation->setFocus();
            return true;
        }
        if (watched == m_confirmation) {
            encrypt();
            return true;
        }
    } else if (event->type() == QEvent::KeyRelease
        && std::find(std::begin(m_levels), std::end(m_levels), watched) != std::end(m_levels)) {
        // Choosing a level from the keyboard returns the user to the password.
        m_password->setFocus();
    }
    return Form::eventFilter(watched, event);
}

void EncryptDialog::renewFields()
{
    m_password = widgets::renewPasswordField(m_password);
    m_confirmation = widgets::renewPasswordField(m_confirmation);
    m_password->installEventFilter(this);
    m_confirmation->installEventFilter(this);
}

void EncryptDialog::hideEvent(QHideEvent *event)
{
    // Nothing typed here outlives the dialog's use.
    renewFields();
    Form::hideEvent(event);
}

void EncryptDialog::encrypt()
{
    QString password = m_password->text();
    QString confirmation = m_confirmation->text();
    const service::Result result = m_document.encrypt(level(), password, confirmation);
    wipe(password);
    wipe(confirmation);
    tell(result);
    if (result.replaced) {
        done(QDialog::Accepted);
        return;
    }
    // A password that cannot be used is typed again from the start; an
    // empty one, or a text the level cannot carry, keeps what was typed.
    for (const service::Fact &fact : result.told) {
        using service::Verdict;
        if (fact.verdict != Verdict::EmptyPassword && fact.verdict != Verdict::TextNotCarried
            && fact.verdict != Verdict::NoMemory) {
            renewFields();
            m_password->setFocus();
            return;
        }
    }
}

void EncryptDialog::cancel()
{
    m_password->setText(QString());
    done(QDialog::Accepted);
}

} // namespace cipher::windows
