#include "cipher/encryptdialog.h"

#include "assets/assets.h"
#include "cipher/cipher.h"
#include "cipher/dialogparts.h"
#include "cipher/secret.h"
#include "platform/richedit.h"
#include "platform/ui.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

using namespace platform;

namespace {
const QString kError = QStringLiteral("ERROR");

void refuse(const QString &text)
{
    messageBox(text, kError, Icon::Warning);
}
} // namespace

TForm2::TForm2(RichEdit *editor, QWidget *parent)
    : Form(QStringLiteral("TForm2"), QStringLiteral("Velmorandquist"), QSize(302, 119), parent)
    , m_editor(editor)
{
    Panel1 = cipher::ui::bevelPanel(this, QRect(0, 0, 97, 119));
    Label3 = new QLabel(QStringLiteral("Encryption Level:"), Panel1);
    Label3->setGeometry(6, 8, 88, 17);
    RadioButton1 = new QRadioButton(QStringLiteral("&Low"), Panel1);
    RadioButton1->setGeometry(12, 32, 80, 20);
    RadioButton2 = new QRadioButton(QStringLiteral("&Meduim"), Panel1);
    RadioButton2->setGeometry(12, 58, 80, 20);
    RadioButton3 = new QRadioButton(QStringLiteral("&High"), Panel1);
    RadioButton3->setGeometry(12, 84, 80, 20);
    RadioButton1->setChecked(true);

    Label1 = new QLabel(QStringLiteral("Enter Password:"), this);
    Label1->setGeometry(106, 4, 190, 17);
    Edit1 = cipher::ui::passwordField(this, QRect(106, 21, 190, 22));
    Label2 = new QLabel(QStringLiteral("Confirm Password:"), this);
    Label2->setGeometry(106, 45, 190, 17);
    Edit2 = cipher::ui::passwordField(this, QRect(106, 62, 190, 22));
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);

    BitBtn5 = cipher::ui::glyphButton(this, QStringLiteral("&Encrypt"),
        assets::icon(QStringLiteral("glyphs/encrypt")), QRect(106, 89, 92, 25));
    BitBtn5->setToolTip(QStringLiteral("Encript Text"));
    BitBtn2 = cipher::ui::glyphButton(this, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(204, 89, 92, 25));

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, BitBtn5);
    setTabOrder(BitBtn5, BitBtn2);
    setTabOrder(BitBtn2, RadioButton1);

    connect(BitBtn5, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm2::Button2Click);
    for (QWidget *w : {static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit2),
             static_cast<QWidget *>(RadioButton1), static_cast<QWidget *>(RadioButton2),
             static_cast<QWidget *>(RadioButton3)})
        w->installEventFilter(this);
}

int TForm2::level() const
{
    if (RadioButton3->isChecked())
        return 3;
    if (RadioButton2->isChecked())
        return 2;
    return 1;
}

void TForm2::FormActivate()
{
    Edit1->clear();
    Edit2->clear();
    Edit1->setFocus();
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (watched == Edit1 && cipher::ui::isEnter(key)) {
            Edit1KeyDown();
            return true;
        }
        if (watched == Edit2 && cipher::ui::isEnter(key)) {
            Edit2KeyDown();
            return true;
        }
    } else if (event->type() == QEvent::KeyRelease
        && (watched == RadioButton1 || watched == RadioButton2 || watched == RadioButton3)) {
        RadioButton1KeyUp();
    }
    return Form::eventFilter(watched, event);
}

void TForm2::Edit1KeyDown()
{
    Edit2->setFocus();
}

void TForm2::Edit2KeyDown()
{
    Button1Click();
}

void TForm2::RadioButton1KeyUp()
{
    // Choosing a level from the keyboard returns the user to the password.
    Edit1->setFocus();
}

void TForm2::Button1Click()
{
    bool error = false;
    if (Edit1->text().isEmpty()) {
        refuse(QStringLiteral("You must enter a password."));
        error = true;
    }
    if (Edit1->text() != Edit2->text()) {
        refuse(QStringLiteral("Passwords do not match."));
        Edit1->clear();
        Edit2->clear();
        Edit1->setFocus();
        error = true;
    }
    bool lengthError = false;
    if (!error) {
        const int lvl = level();
        const qsizetype length = Edit1->text().size();
        if (lvl == 2 && length < 5) {
            refuse(QStringLiteral("Level 2 encryption requires a minimum password leanth of five "
                                  "characters."));
            lengthError = true;
        } else if (lvl == 3 && length < 8) {
            refuse(QStringLiteral("Level 3 encryption requires a minimum password leanth of eight "
                                  "characters."));
            lengthError = true;
        }
        if (lengthError) {
            Edit1->clear();
            Edit2->clear();
            Edit1->setFocus();
        }
    }
    if (Edit1->text().isEmpty() || lengthError || Edit1->text() != Edit2->text())
        return;

    // Outside what the cipher carries exactly, a round trip would change the
    // user's text without a word; refuse before anything changes.
    QString password = Edit1->text();
    if (const auto problem = cipher::ui::passwordProblem(password)) {
        cipher::wipe(password);
        refuse(*problem);
        Edit1->clear();
        Edit2->clear();
        Edit1->setFocus();
        return;
    }
    if (const auto problem = cipher::ui::textProblem(m_editor->characters())) {
        cipher::wipe(password);
        refuse(*problem);
        return;
    }

    std::optional<cipher::DomainIssue> unreadable;
    {
        BusyCursor busy;
        cipher::KeyBuffer key(cipher::ui::passwordBytes(password));
        cipher::wipe(password);
        const QByteArray text = m_editor->text();
        const cipher::Bytes block =
            cipher::encryptText({text.constData(), std::size_t(text.size())}, key.view(), level());
        // A few passwords leave text that spells the end marker unchanged,
        // and such a block would not read back whole.
        unreadable = cipher::checkBlock(block);
        if (!unreadable)
            m_editor->setText(QByteArray(block.data(), qsizetype(block.size())));
    }
    if (unreadable) {
        refuse(QStringLiteral("This text cannot be encrypted with this password: the result "
                              "would contain %1.")
                   .arg(QString::fromStdString(unreadable->describe())));
        Edit1->clear();
        Edit2->clear();
        Edit1->setFocus();
        return;
    }
    done(QDialog::Accepted);
}

void TForm2::Button2Click()
{
    Edit1->clear();
    done(QDialog::Accepted);
}
