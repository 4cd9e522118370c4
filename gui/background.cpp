#include "gui/background.h"

#include "gui/modal.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <memory>

namespace gui {

namespace {

int g_working = 0;

// Swallows the user's input for the whole application while it lives.
class InputBlocker : public QObject
{
public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        case QEvent::Close:
            // Closing the window would take the document from under the work.
            event->ignore();
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

} // namespace

void runInBackground(const std::function<void()> &work)
{
    BusyCursor busy;
    InputBlocker blocker;
    ++g_working;
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    // Queued to this thread: it arrives once the loop below runs.
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
    --g_working;
    if (failure)
        std::rethrow_exception(failure);
}

bool workingInBackground()
{
    return g_working > 0;
}

} // namespace gui
