#include "editor/wipewindow.h"

#include "assets/assets.h"
#include "document/error.h"
#include "editor/filewiper.h"
#include "gui/modal.h"
#include "gui/richedit.h"
#include "widgets/parts.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>

#include <vector>

using namespace gui;

namespace editor {

WipeWindow::WipeWindow(QWidget *parent)
    : Form(QStringLiteral("TForm7"), QStringLiteral("Wipe File"), QSize(257, 99), parent)
{
    QFrame *panel = widgets::bevelPanel(this, QRect(0, 0, 257, 99));
    panel->setObjectName(QStringLiteral("Panel1"));
    auto *label = new QLabel(QStringLiteral("File Name:"), panel);
    label->setObjectName(QStringLiteral("Label1"));
    label->setGeometry(8, 6, 153, 17);
    m_fileName = new QLineEdit(panel);
    m_fileName->setObjectName(QStringLiteral("Edit1"));
    m_fileName->setGeometry(8, 24, 153, 22);
    label->setBuddy(m_fileName);
    auto *browseButton = new QPushButton(QStringLiteral("Browse..."), panel);
    browseButton->setObjectName(QStringLiteral("Button1"));
    browseButton->setGeometry(168, 23, 81, 25);
    browseButton->setAutoDefault(false);

    QPushButton *wipeButton = widgets::glyphButton(panel, QStringLiteral("&Wipe File"),
        assets::icon(QStringLiteral("glyphs/wipe")), QRect(8, 64, 100, 27));
    wipeButton->setObjectName(QStringLiteral("BitBtn1"));
    QPushButton *cancelButton = widgets::glyphButton(panel, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(149, 64, 100, 27));
    cancelButton->setObjectName(QStringLiteral("BitBtn2"));

    m_buffer = new RichEdit(this);
    m_buffer->setObjectName(QStringLiteral("RichEdit1"));
    // Never shown, so it needs no text layout: a null page size spares it
    // (about a third of the time a file of many short lines takes to read).
    m_buffer->document()->setPageSize(QSizeF(0, 0));
    m_buffer->hide();

    m_openDialog.mode = FileRequest::Mode::Open;
    m_openDialog.title = QStringLiteral("Wipe File:");

    setTabOrder(m_fileName, browseButton);
    setTabOrder(browseButton, wipeButton);
    setTabOrder(wipeButton, cancelButton);

    connect(browseButton, &QPushButton::clicked, this, &WipeWindow::browse);
    connect(wipeButton, &QPushButton::clicked, this, &WipeWindow::wipe);
    connect(cancelButton, &QPushButton::clicked, this, &WipeWindow::cancel);
}

void WipeWindow::onActivate()
{
    m_openDialog.fileName.clear();
}

void WipeWindow::browse()
{
    if (m_openDialog.execute())
        m_fileName->setText(m_openDialog.fileName);
}

void WipeWindow::cancel()
{
    done(QDialog::Accepted);
}

void WipeWindow::wipe()
{
    const QString name = m_fileName->text();
    const QString warning = QStringLiteral("This will completely erase:\n ") + name
        + QStringLiteral("\n from your harddrive.\n Do you really want to continue?");
    if (messageBox(warning, QStringLiteral("WARNING"), Icon::Error, Buttons::OkCancel)
        != Answer::Ok)
        return;
    const bool wiped = guarded([&] {
        BusyCursor busy;
        wipeFile(name, [&](QFile &file) { readCheck(name, file); });
    });
    if (!wiped)
        return;
    m_fileName->clear();
    done(QDialog::Accepted);
}

void WipeWindow::readCheck(const QString &name, QFile &file)
{
    if (file.size() <= kBufferLimit) {
        m_buffer->loadFromFile(name);
        return;
    }
    m_buffer->clear();
    constexpr qint64 kChunk = 1024 * 1024;
    std::vector<char> chunk(std::size_t(kChunk), 0);
    for (;;) {
        const qint64 n = file.read(chunk.data(), kChunk);
        if (n < 0)
            throw document::Error(QStringLiteral("Failed to Load Stream"));
        if (n == 0)
            return;
    }
}

} // namespace editor
