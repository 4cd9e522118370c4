#include "editor/noticeform.h"

#include "platform/settingsstore.h"
#include "platform/ui.h"

#include <QCheckBox>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const QString kStartKey =
    QStringLiteral("\\software\\Qumo\\Velmorandquist\\environment\\start_key");
}

TForm4::TForm4(QWidget *parent)
    : Form(QStringLiteral("TForm4"), QStringLiteral("Velmorandquist"), QSize(352, 201), parent)
{
    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(0, 0, 352, 201);

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setGeometry(7, 7, 337, 153);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setPlainText(noticeLines().join(QLatin1Char('\n')));

    CheckBox1 = new QCheckBox(QStringLiteral("Do not show this message on start up."), Panel1);
    CheckBox1->setGeometry(8, 170, 255, 21);
    CheckBox1->setChecked(false);

    Button1 = new QPushButton(QStringLiteral("&OK"), Panel1);
    Button1->setGeometry(269, 168, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

void TForm4::Button1Click()
{
    accept();
    if (!CheckBox1->isChecked())
        return;
    platform::guarded([] {
        platform::SettingsStore store;
        // A key that cannot be opened shows as the write failing.
        store.openKey(kStartKey, true);
        store.writeString(QStringLiteral("start_key"), QStringLiteral("no"));
        store.closeKey();
    });
}

QStringList TForm4::noticeLines()
{
    return {
        QStringLiteral("Thank you for trying Velmorandquist!"),
        QStringLiteral("This is a beta release (0.98 Beta2), so"),
        QStringLiteral("some features are not implemented yet,"),
        QStringLiteral("and some may change before version 1.0."),
        QString(),
        QStringLiteral("Quick Mail in this version needs a public"),
        QStringLiteral("mail server that accepts mail on port 25"),
        QStringLiteral("without a password. A list of such"),
        QStringLiteral("servers can be found on our web site:"),
        QStringLiteral("    www.qumo.example/mailservers"),
        QString(),
        QStringLiteral("Questions and bug reports are welcome:"),
        QStringLiteral("    Web:  www.qumo.example"),
        QStringLiteral("    Mail: beta@qumo.example"),
        QString(),
        QStringLiteral("Velmorandquist is made by Qumo."),
        QStringLiteral("Copyright (c) Qumo."),
        QStringLiteral("All rights reserved."),
    };
}
