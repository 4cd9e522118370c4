#include "editor/aboutwindow.h"

#include "assets/assets.h"
#include "widgets/parts.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace editor {

AboutWindow::AboutWindow(QWidget *parent)
    : Form(
        QStringLiteral("TForm6"), QStringLiteral("About Velmorandquist"), QSize(331, 198), parent)
{
    // 316 by 150 and two 2-pixel bevels: 324 by 158, centred across the top.
    QLabel *image = nullptr;
    widgets::bevelledPicture(
        this, QPoint(3, 4), QStringLiteral("about"), assets::kAboutSize, 2, &image)
        ->setObjectName(QStringLiteral("Panel1"));
    image->setObjectName(QStringLiteral("Image1"));
    auto *ok =
        new QPushButton(assets::icon(QStringLiteral("glyphs/ok")), QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("Button2"));
    ok->setGeometry(128, 167, 75, 25);
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace editor
