#include "gui/helpwindow.h"

#include "assets/assets.h"
#include "gui/form.h"

#include <QApplication>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace gui {

namespace {
QPointer<HelpWindow> g_window;
}

HelpWindow::HelpWindow(const QUrl &page, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Velmorandquist Help"));
    setWindowIcon(assets::windowIcon());
    // Closing the main window ends the program even while help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(620, 520);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(false);
    layout->addWidget(m_browser);
    m_browser->setSource(page);
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

HelpWindow *HelpWindow::instance()
{
    return g_window;
}

void HelpWindow::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void showHelp()
{
    if (!g_window) {
        g_window = new HelpWindow(assets::helpPage());
        // A window without a parent has to go before the application object.
        QObject::connect(
            qApp, &QCoreApplication::aboutToQuit, qApp, [] { delete g_window.data(); });
    }
    // A modal window blocks every window but its own: opened from one, help
    // becomes its child window so that it can be read and closed beside it.
    QWidget *modalWindow = QApplication::activeModalWidget();
    QWidget *owner = modalWindow && modalWindow != g_window ? modalWindow : nullptr;
    if (g_window->parentWidget() != owner) {
        const QRect geometry = g_window->geometry();
        g_window->setParent(owner, g_window->windowFlags() | Qt::Window);
        g_window->setGeometry(geometry);
    }
    if (g_window->isMinimized())
        g_window->showNormal();
    else
        g_window->show();
    g_window->raise();
    g_window->activateWindow();
}

} // namespace gui
