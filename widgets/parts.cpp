#include "widgets/parts.h"

#include "assets/assets.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace widgets {

QFrame *bevelPanel(QWidget *parent, const QRect &geometry)
{
    auto *outer = new QFrame(parent);
    outer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    outer->setGeometry(geometry);
    auto *inner = new QFrame(outer);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    inner->setGeometry(1, 1, geometry.width() - 2, geometry.height() - 2);
    inner->lower();
    return outer;
}

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

QLineEdit *passwordField(QWidget *parent, const QRect &geometry, int maxLength)
{
    auto *edit = new QLineEdit(parent);
    edit->setGeometry(geometry);
    edit->setMaxLength(maxLength);
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    return edit;
}

QLineEdit *renewPasswordField(QLineEdit *field)
{
    QWidget *parent = field->parentWidget();
    QLineEdit *fresh = passwordField(parent, field->geometry(), field->maxLength());
    fresh->setObjectName(field->objectName());
    fresh->setAccessibleName(field->accessibleName());
    fresh->setToolTip(field->toolTip());
    // Only a font set on the field itself; an inherited one keeps following
    // the window's.
    if (field->testAttribute(Qt::WA_SetFont))
        fresh->setFont(field->font());
    fresh->setVisible(field->isVisibleTo(parent));
    for (const QByteArray &name : field->dynamicPropertyNames())
        fresh->setProperty(name.constData(), field->property(name.constData()));
    // Right after the old one in the focus chain, which closes up behind it.
    QWidget::setTabOrder(field, fresh);
    for (QLabel *label : field->window()->findChildren<QLabel *>())
        if (label->buddy() == field)
            label->setBuddy(fresh);
    const bool focused = field->hasFocus();
    field->setText(QString());
    field->setObjectName(QString());
    field->hide();
    // The old field may be the one whose key event is being handled.
    field->deleteLater();
    if (focused)
        fresh->setFocus();
    return fresh;
}

namespace {

// Enter on the focused button presses it, as Space does; it never presses a
// button that does not have the focus.
class EnterPressesButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (isEnter(event->key()) && (event->modifiers() & ~Qt::KeypadModifier) == 0) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

} // namespace

QPushButton *glyphButton(
    QWidget *parent, const QString &caption, const QIcon &glyph, const QRect &geometry)
{
    auto *button = new EnterPressesButton(glyph, caption, parent);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace widgets
