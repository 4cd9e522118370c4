#include "editor/splashwindow.h"

#include "assets/assets.h"
#include "gui/form.h"
#include "widgets/parts.h"

#include <QFrame>
#include <QLabel>

namespace editor {

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("TForm5"));
    setFixedSize(333, 253);
    // Two 3-pixel bevels around the picture fill the window exactly.
    QLabel *image = nullptr;
    widgets::bevelledPicture(
        this, QPoint(0, 0), QStringLiteral("splash"), assets::kSplashSize, 3, &image)
        ->setObjectName(QStringLiteral("Panel1"));
    image->setObjectName(QStringLiteral("Image1"));
}

void SplashWindow::showEvent(QShowEvent *event)
{
    gui::centreOnScreen(this);
    QWidget::showEvent(event);
}

} // namespace editor
