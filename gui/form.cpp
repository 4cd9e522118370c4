#include "gui/form.h"

#include "gui/modal.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace gui {

namespace {
QPointer<QWidget> g_activeForm;
}

bool becomesActiveForm(QWidget *window)
{
    if (g_activeForm == window)
        return false;
    g_activeForm = window;
    return true;
}

void formHidden(QWidget *window)
{
    if (g_activeForm == window)
        g_activeForm = nullptr;
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize frame = window->frameGeometry().size();
    window->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

Form::Form(const QString &objectName, const QString &caption, QSize clientSize, QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(clientSize);
    setModal(true);
}

int Form::showModal()
{
    return modal().execModal(*this);
}

bool Form::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && becomesActiveForm(this))
        onActivate();
    return QDialog::event(event);
}

void Form::showEvent(QShowEvent *event)
{
    centreOnScreen(this);
    QDialog::showEvent(event);
}

void Form::hideEvent(QHideEvent *event)
{
    formHidden(this);
    QDialog::hideEvent(event);
}

} // namespace gui
