#include "editor/aboutform.h"

#include "assets/assets.h"
#include "editor/splashform.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

TForm6::TForm6(QWidget *parent)
    : Form(
        QStringLiteral("TForm6"), QStringLiteral("About Velmorandquist"), QSize(331, 198), parent)
{
    // 316 by 150 and two 2-pixel bevels: 324 by 158, centred across the top.
    Panel1 = bevelledPicture(
        this, QPoint(3, 4), QStringLiteral("about"), assets::kAboutSize, 2, &Image1);
    Button2 =
        new QPushButton(assets::icon(QStringLiteral("glyphs/ok")), QStringLiteral("&OK"), this);
    Button2->setGeometry(128, 167, 75, 25);
    Button2->setDefault(true);
    Button2->setFocus();
    connect(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);
}

void TForm6::Button2Click()
{
    accept();
}
