#include "editor/wipewindow.h"

#include "assets/assets.h"
#include "editor/filewiper.h"
#include "gui/modal.h"
#include "widgets/parts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

namespace {

// The second warning, for a file whose content other names share.
QString otherNamesWarning(const QString &name, quint64 others)
{
    const QString names = others == 1
        ? QStringLiteral("1 other name (a hard link).\n Wiping it destroys the content under "
                         "that name too.")
        : QStringLiteral("%1 other names (hard links).\n Wiping it destroys the content under "
                         "those names too.")
              .arg(others);
    return QStringLiteral("The file\n ") + name + QStringLiteral("\n has ") + names
        + QStringLiteral("\n Do you really want to continue?");
}

} // namespace

void WipeWindow::wipe()
{
    const QString name = m_fileName->text();
    const QString warning = QStringLiteral("This will completely erase:\n ") + name
        + QStringLiteral("\n from your harddrive.\n Do you really want to continue?");
    if (messageBox(warning, QStringLiteral("WARNING"), Icon::Error, Buttons::OkCancel)
        != Answer::Ok)
        return;
    bool wiped = false;
    guarded([&] {
        FileWipe file(name);
        if (file.otherNames() > 0) {
            // Cancel is the default: Enter alone must not destroy other names.
            if (messageBox(otherNamesWarning(name, file.otherNames()), QStringLiteral("WARNING"),
                    Icon::Warning, Buttons::OkCancel, Answer::Cancel)
                != Answer::Ok)
                return;
        }
        BusyCursor busy;
        file.run();
        wiped = true;
    });
    if (!wiped)
        return;
    m_fileName->clear();
    done(QDialog::Accepted);
}

} // namespace editor
