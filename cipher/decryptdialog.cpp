#include "cipher/decryptdialog.h"

#include "assets/assets.h"
#include "cipher/cipher.h"
#include "cipher/dialogparts.h"
#include "cipher/secret.h"
#include "platform/richedit.h"
#include "platform/ui.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

using namespace platform;

TForm3::TForm3(RichEdit *editor, QWidget *parent)
    : Form(QStringLiteral("TForm3"), QStringLiteral("Velmorandquist"), QSize(216, 92), parent)
    , m_editor(editor)
{
    Panel1 = cipher::ui::bevelPanel(this, QRect(0, 0, 216, 92));
    Label1 = new QLabel(QStringLiteral("Enter Password:"), Panel1);
    Label1->setGeometry(10, 8, 196, 17);
    Edit1 = cipher::ui::passwordField(Panel1, QRect(10, 26, 196, 22));
    Label1->setBuddy(Edit1);
    BitBtn6 = cipher::ui::glyphButton(Panel1, QStringLiteral("&Decrypt"),
        assets::icon(QStringLiteral("glyphs/decrypt")), QRect(10, 58, 94, 25));
    BitBtn6->setToolTip(QStringLiteral("Decript Text"));
    BitBtn2 = cipher::ui::glyphButton(Panel1, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(112, 58, 94, 25));
    setTabOrder(BitBtn6, BitBtn2);
    setTabOrder(BitBtn2, Edit1);

    connect(BitBtn6, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm3::Button2Click);
    Edit1->installEventFilter(this);
}

void TForm3::FormActivate()
{
    Edit1->clear();
    Edit1->setFocus();
}

bool TForm3::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress
        && cipher::ui::isEnter(static_cast<QKeyEvent *>(event)->key())) {
        Button1Click();
        return true;
    }
    return Form::eventFilter(watched, event);
}

void TForm3::Button1Click()
{
    // An empty key cannot decipher anything; ask again instead.
    if (Edit1->text().isEmpty()) {
        messageBox(
            QStringLiteral("You must enter a password."), QStringLiteral("ERROR"), Icon::Warning);
        Edit1->setFocus();
        return;
    }
    {
        BusyCursor busy;
        QString password = Edit1->text();
        cipher::KeyBuffer key(cipher::ui::passwordBytes(password));
        cipher::wipe(password);
        const QByteArray text = m_editor->text();
        const cipher::Decryption result =
            cipher::decryptText({text.constData(), std::size_t(text.size())}, key.view());
        if (!result.found) {
            messageBox(QStringLiteral("Unable to find encryption signature."),
                QStringLiteral("ERROR"), Icon::None);
        } else {
            if (result.verdict == cipher::Verdict::WrongPassword)
                messageBox(QStringLiteral("Incorrect password."), QStringLiteral("WARNING"),
                    Icon::Warning);
            else if (result.verdict == cipher::Verdict::ChecksumError)
                messageBox(QStringLiteral("Check sum error:\nData may be corrupt or contain "
                                          "errors."),
                    QStringLiteral("WARNING"), Icon::Warning);
            m_editor->setText(QByteArray(result.text.data(), qsizetype(result.text.size())));
        }
    }
    done(QDialog::Accepted);
}

void TForm3::Button2Click()
{
    Edit1->clear();
    done(QDialog::Accepted);
}
