#include "cipher/windows/encryptdialog.h"

#include "assets/assets.h"
#include "cipher/refusals.h"
#include "cipher/strong.h"
#include "cipher/windows/password.h"
#include "gui/modal.h"
#include "gui/richedit.h"
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

namespace {

BytesView view(const QByteArray &bytes)
{
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace

EncryptDialog::EncryptDialog(RichEdit &editor, QWidget *parent)
    : Form(QStringLiteral("TForm2"), QStringLiteral("Velmorandquist"), QSize(302, 145), parent)
    , m_editor(editor)
{
    QFrame *levelPanel = widgets::bevelPanel(this, QRect(0, 0, 97, 145));
    levelPanel->setObjectName(QStringLiteral("Panel1"));
    auto *levelLabel = new QLabel(QStringLiteral("Encryption Level:"), levelPanel);
    levelLabel->setObjectName(QStringLiteral("Label3"));
    levelLabel->setGeometry(6, 8, 88, 17);
    const QString levelCaptions[4] = {QStringLiteral("&Low"), QStringLiteral("&Meduim"),
        QStringLiteral("&High"), QStringLiteral("&Strong")};
    for (int i = 0; i < 4; ++i) {
        m_levels[i] = new QRadioButton(levelCaptions[i], levelPanel);
        m_levels[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        m_levels[i]->setGeometry(12, 32 + 26 * i, 80, 20);
    }
    m_levels[0]->setChecked(true);

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
        assets::icon(QStringLiteral("glyphs/encrypt")), QRect(106, 115, 92, 25));
    encryptButton->setObjectName(QStringLiteral("BitBtn5"));
    encryptButton->setToolTip(QStringLiteral("Encript Text"));
    QPushButton *cancelButton = widgets::glyphButton(this, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(204, 115, 92, 25));
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

void EncryptDialog::refuse(const QString &text)
{
    messageBox(text, QStringLiteral("ERROR"), Icon::Warning);
}

void EncryptDialog::clearPasswords()
{
    renewFields();
    m_password->setFocus();
}

void EncryptDialog::encrypt()
{
    QString password = m_password->text();
    QString confirmation = m_confirmation->text();
    {
        KeyBuffer key(passwordBytes(password));
        KeyBuffer confirmationKey(passwordBytes(confirmation));
        wipe(confirmation);
        bool refused = false;
        for (const PasswordRefusal &refusal :
            checkPasswords(key.view(), confirmationKey.view(), level())) {
            // A character refusal is worded from the password as typed, below.
            if (refusal.kind == PasswordRefusal::Kind::Character)
                continue;
            // The fields take the strong level's longest; the legacy levels'
            // old readers take no more than 245 characters.
            refuse(refusal.kind == PasswordRefusal::Kind::TooLong
                    ? QStringLiteral("Levels 1 to 3 take a password of at most %1 characters.")
                          .arg(maximumPasswordLength(level()))
                    : QString::fromStdString(refusal.text()));
            refused = true;
            if (refusal.kind != PasswordRefusal::Kind::Empty)
                clearPasswords();
        }
        if (refused) {
            wipe(password);
            return;
        }
    }

    // Outside what the cipher carries exactly, a round trip would change the
    // user's text without a word; refuse before anything changes.
    if (const auto problem = passwordProblem(password)) {
        wipe(password);
        refuse(*problem);
        clearPasswords();
        return;
    }
    if (level() == strong::kLevel) {
        encryptStrong(password);
        return;
    }
    if (const auto problem = textProblem(m_editor.characters())) {
        wipe(password);
        refuse(*problem);
        return;
    }

    std::optional<DomainIssue> unreadable;
    {
        BusyCursor busy;
        KeyBuffer key(passwordBytes(password));
        wipe(password);
        const QByteArray text = m_editor.text();
        Bytes plain(view(text));
        foldBlockBodies(plain);
        const Bytes block = encryptText(plain, key.view(), level());
        // A few passwords leave text that spells the end marker unchanged,
        // and such a block would not read back whole.
        unreadable = checkBlock(block);
        if (!unreadable)
            m_editor.setText(QByteArray(block.data(), qsizetype(block.size())));
    }
    if (unreadable) {
        refuse(QStringLiteral("This text cannot be encrypted with this password: the result "
                              "would contain %1.")
                   .arg(QString::fromStdString(unreadable->describe())));
        clearPasswords();
        return;
    }
    done(QDialog::Accepted);
}

void EncryptDialog::encryptStrong(QString &password)
{
    // Every text the document holds, as its own characters in UTF-8.
    Bytes block;
    {
        BusyCursor busy; // the key derivation takes a good part of a second
        KeyBuffer key(passwordBytes(password));
        wipe(password);
        QByteArray plain = m_editor.characters().toUtf8();
        block = strong::encryptText(view(plain), key.view());
        wipe(plain);
        if (!block.empty())
            m_editor.setText(QByteArray(block.data(), qsizetype(block.size())));
    }
    if (block.empty()) {
        refuse(QStringLiteral("Not enough memory for the strong level's key derivation."));
        return;
    }
    done(QDialog::Accepted);
}

void EncryptDialog::cancel()
{
    m_password->setText(QString());
    done(QDialog::Accepted);
}

} // namespace cipher::windows
