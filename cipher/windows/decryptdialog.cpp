#include "cipher/windows/decryptdialog.h"

#include "assets/assets.h"
#include "cipher/cipher.h"
#include "cipher/strong.h"
#include "cipher/windows/password.h"
#include "gui/modal.h"
#include "gui/richedit.h"
#include "widgets/parts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringDecoder>

using namespace gui;

namespace cipher::windows {

DecryptDialog::DecryptDialog(RichEdit &editor, QWidget *parent)
    : Form(QStringLiteral("TForm3"), QStringLiteral("Velmorandquist"), QSize(216, 92), parent)
    , m_editor(editor)
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
    const QByteArray text = m_editor.text();
    const BytesView textView(text.constData(), std::size_t(text.size()));
    const auto noBlock = [] {
        messageBox(QStringLiteral("Unable to find encryption signature."), QStringLiteral("ERROR"),
            Icon::None);
    };
    // An empty key cannot decipher anything; ask again instead. Without a
    // block there is nothing to ask for.
    if (m_password->text().isEmpty()) {
        if (!containsBlock(textView)) {
            noBlock();
            done(QDialog::Accepted);
            return;
        }
        // A damaged strong block is told as such before any password is
        // asked for: no password could open it (this costs no derivation).
        if (strong::containsStrongBlock(textView)
            && strong::decryptText(textView, {}).verdict == Verdict::ChecksumError) {
            messageBox(QStringLiteral("Check sum error:\nData may be corrupt or contain errors."),
                QStringLiteral("WARNING"), Icon::Warning);
            done(QDialog::Accepted);
            return;
        }
        messageBox(
            QStringLiteral("You must enter a password."), QStringLiteral("ERROR"), Icon::Warning);
        m_password->setFocus();
        return;
    }
    if (strong::containsStrongBlock(textView)) {
        decryptStrong();
        done(QDialog::Accepted);
        return;
    }
    {
        BusyCursor busy;
        QString password = m_password->text();
        KeyBuffer key(passwordBytes(password));
        wipe(password);
        // No legacy block was ever sealed with a password longer than its
        // levels take, so none is deciphered with one.
        Decryption result;
        if (key.view().size() > kMaxPasswordLength && containsBlock(textView))
            result = {true, Verdict::WrongPassword, {}};
        else
            result = decryptText(textView, key.view());
        if (!result.found) {
            noBlock();
        } else if (result.verdict == Verdict::WrongPassword) {
            // The block stays as it was, so the user simply tries again.
            messageBox(
                QStringLiteral("Incorrect password."), QStringLiteral("WARNING"), Icon::Warning);
        } else {
            // A checksum error still gives the text, which is usually mostly right.
            if (result.verdict == Verdict::ChecksumError)
                messageBox(QStringLiteral("Check sum error:\nData may be corrupt or contain "
                                          "errors."),
                    QStringLiteral("WARNING"), Icon::Warning);
            m_editor.setText(QByteArray(result.text.data(), qsizetype(result.text.size())));
        }
    }
    done(QDialog::Accepted);
}

void DecryptDialog::decryptStrong()
{
    // The strong level's text is the document's own characters in UTF-8, so
    // the text around the block is read and put back the same way.
    Verdict verdict;
    bool notText = false;
    {
        BusyCursor busy; // the key derivation takes a good part of a second
        QString password = m_password->text();
        KeyBuffer key(passwordBytes(password));
        wipe(password);
        const QByteArray text = m_editor.characters().toUtf8();
        Decryption result =
            strong::decryptText(BytesView(text.constData(), std::size_t(text.size())), key.view());
        verdict = result.verdict;
        if (verdict == Verdict::Good) {
            // vlq seals any bytes. Ones that are not UTF-8 would come back
            // as replacement characters, and a save would lose them for good:
            // the block stays instead, for vlq to open exactly. A byte order
            // mark is a character like any other here.
            QStringDecoder utf8(QStringDecoder::Utf8,
                QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            QString characters =
                utf8(QByteArrayView(result.text.data(), qsizetype(result.text.size())));
            notText = utf8.hasError();
            if (!notText)
                m_editor.setCharacters(characters);
            wipe(characters);
            cipher::wipe(result.text.data(), result.text.size());
        }
    }
    // Nothing unauthenticated reaches the editor: a damaged block stays as it is.
    if (verdict == Verdict::WrongPassword)
        messageBox(QStringLiteral("Incorrect password."), QStringLiteral("WARNING"), Icon::Warning);
    else if (verdict == Verdict::ChecksumError)
        messageBox(QStringLiteral("Check sum error:\nData may be corrupt or contain errors."),
            QStringLiteral("WARNING"), Icon::Warning);
    else if (notText)
        messageBox(QStringLiteral("The password is right, but the encrypted text is not Unicode "
                                  "(UTF-8) text, so the editor cannot show it exactly. The block "
                                  "is left as it is: \"vlq decrypt\" gives its bytes."),
            QStringLiteral("WARNING"), Icon::Warning);
}

void DecryptDialog::cancel()
{
    m_password->setText(QString());
    done(QDialog::Accepted);
}

} // namespace cipher::windows
