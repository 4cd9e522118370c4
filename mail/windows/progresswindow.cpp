#include "mail/windows/progresswindow.h"

#include "assets/assets.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QTimer>

namespace mail::windows {

namespace {
// About sixty steps a second: smooth, and no work for a processor between them.
constexpr int kStepMs = 16;
} // namespace

ProgressWindow::ProgressWindow(QWidget *parent)
    : Form(QStringLiteral("TForm11"), QStringLiteral("Sending Mail..."), QSize(269, 111), parent)
{
    // No close box: the send ends it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(0, 0, 269, 111);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(white);

    auto *frame = new QFrame(panel);
    frame->setGeometry(40, 16, 41, 33);
    auto *icon = new QLabel(frame);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setGeometry(4, 0, 32, 32);
    icon->setPixmap(assets::picture(QStringLiteral("icon"), QSize(32, 32), devicePixelRatioF()));

    auto *label = new QLabel(QStringLiteral("Sending Mail..."), panel);
    label->setObjectName(QStringLiteral("Label1"));
    QFont bold = label->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    label->setFont(bold);
    label->setGeometry(104, 24, 150, 20);

    m_van = new QLabel(panel);
    m_van->setObjectName(QStringLiteral("Image2"));
    m_van->setGeometry(QRect(QPoint(-55, 64), assets::kVanSize));
    m_van->setPixmap(assets::picture(QStringLiteral("van"), assets::kVanSize, devicePixelRatioF()));

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(kStepMs);
    connect(m_timer, &QTimer::timeout, this, &ProgressWindow::step);
}

void ProgressWindow::start()
{
    show();
    raise();
    activateWindow();
    m_timer->start();
}

void ProgressWindow::stop()
{
    hide();
    m_timer->stop();
}

void ProgressWindow::step()
{
    if (m_position > 265) {
        m_position = -56;
        ++m_sweeps;
    }
    m_position += 2;
    m_van->move(m_position, m_van->y());
}

} // namespace mail::windows
