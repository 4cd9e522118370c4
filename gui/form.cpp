#include "gui/form.h"

#include "gui/modal.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
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

namespace {

const char *const kDesignGeometry = "designGeometry";

// How much wider and taller a control needs to be than placed to show its
// caption whole; 1 when it fits.
QSizeF needFor(const QWidget *w, QSize placed)
{
    QSize need;
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (label->text().isEmpty() || label->wordWrap())
            return {1, 1};
        need = label->sizeHint();
    } else if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
        if (button->text().isEmpty())
            return {1, 1};
        need = button->sizeHint();
        // A style may give push buttons a least width and height of its own;
        // the caption only needs its glyph, its text and a little room.
        if (qobject_cast<const QPushButton *>(w)) {
            QString caption = button->text();
            caption.remove(QLatin1Char('&'));
            const int glyph = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
            need = QSize(w->fontMetrics().horizontalAdvance(caption) + glyph + 12,
                w->fontMetrics().height() + 4);
        }
    } else {
        return {1, 1};
    }
    return {qMax(1.0, qreal(need.width()) / qMax(1, placed.width())),
        qMax(1.0, qreal(need.height()) / qMax(1, placed.height()))};
}

} // namespace

void fitToTexts(QWidget *window, QSize designSize)
{
    const QList<QWidget *> all = window->findChildren<QWidget *>();
    // Where each control was placed, kept the first time.
    for (QWidget *w : all) {
        if (!w->property(kDesignGeometry).isValid())
            w->setProperty(kDesignGeometry, w->geometry());
    }
    qreal across = 1;
    qreal down = 1;
    for (QWidget *w : all) {
        if (w->isWindow() || w->parentWidget()->layout())
            continue;
        const QSizeF need = needFor(w, w->property(kDesignGeometry).toRect().size());
        across = qMax(across, need.width());
        down = qMax(down, need.height());
    }
    for (QWidget *w : all) {
        if (w->isWindow() || w->parentWidget()->layout())
            continue;
        const QRect r = w->property(kDesignGeometry).toRect();
        const int left = qRound(r.left() * across);
        const int top = qRound(r.top() * down);
        w->setGeometry(left, top, qRound((r.left() + r.width()) * across) - left,
            qRound((r.top() + r.height()) * down) - top);
    }
    window->setFixedSize(qRound(designSize.width() * across), qRound(designSize.height() * down));
}

Form::Form(const QString &objectName, const QString &caption, QSize clientSize, QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(clientSize);
    m_designSize = clientSize;
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
    fitToTexts(this, m_designSize);
    centreOnScreen(this);
    QDialog::showEvent(event);
}

void Form::hideEvent(QHideEvent *event)
{
    formHidden(this);
    QDialog::hideEvent(event);
}

} // namespace gui
