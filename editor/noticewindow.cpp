#include "editor/noticewindow.h"

#include "gui/modal.h"
#include "settings/values.h"

#include <QCheckBox>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>

namespace editor {

NoticeWindow::NoticeWindow(QWidget *parent)
    : Form(QStringLiteral("TForm4"), QStringLiteral("Velmorandquist"), QSize(352, 201), parent)
{
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(0, 0, 352, 201);

    auto *text = new QPlainTextEdit(panel);
    text->setObjectName(QStringLiteral("Memo1"));
    text->setAccessibleName(QStringLiteral("Notice"));
    text->setGeometry(7, 7, 337, 153);
    text->setReadOnly(true);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setPlainText(noticeLines().join(QLatin1Char('\n')));

    m_dontShowAgain = new QCheckBox(QStringLiteral("Do not show this message on start up."), panel);
    m_dontShowAgain->setObjectName(QStringLiteral("CheckBox1"));
    m_dontShowAgain->setGeometry(8, 170, 255, 21);
    m_dontShowAgain->setChecked(false);

    auto *okButton = new QPushButton(QStringLiteral("&OK"), panel);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setGeometry(269, 168, 75, 25);
    okButton->setDefault(true);
    okButton->setFocus();

    connect(okButton, &QPushButton::clicked, this, &NoticeWindow::ok);
}

void NoticeWindow::ok()
{
    accept();
    if (m_dontShowAgain->isChecked())
        gui::guarded(settings::suppressStartupNotice);
}

QStringList NoticeWindow::noticeLines()
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

} // namespace editor
