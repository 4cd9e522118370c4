#include "editor/splashform.h"

#include "assets/assets.h"
#include "platform/form.h"

#include <QFrame>
#include <QLabel>

QFrame *bevelledPicture(QWidget *parent, QPoint at, const QString &picture, QSize pictureSize,
    int bevel, QLabel **label)
{
    const QSize outerSize = pictureSize + QSize(4 * bevel, 4 * bevel);
    auto *outer = new QFrame(parent);
    outer->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->setLineWidth(bevel);
    outer->setGeometry(QRect(at, outerSize));
    auto *inner = new QFrame(outer);
    inner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    inner->setLineWidth(bevel);
    inner->setGeometry(bevel, bevel, outerSize.width() - 2 * bevel, outerSize.height() - 2 * bevel);
    auto *image = new QLabel(inner);
    image->setGeometry(QRect(QPoint(bevel, bevel), pictureSize));
    image->setPixmap(assets::picture(picture, pictureSize, parent->devicePixelRatioF()));
    if (label)
        *label = image;
    return outer;
}

TForm5::TForm5(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("TForm5"));
    setFixedSize(333, 253);
    // Two 3-pixel bevels around the picture fill the window exactly.
    Panel1 = bevelledPicture(
        this, QPoint(0, 0), QStringLiteral("splash"), assets::kSplashSize, 3, &Image1);
}

void TForm5::showEvent(QShowEvent *event)
{
    platform::centreOnScreen(this);
    QWidget::showEvent(event);
}
