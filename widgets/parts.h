#pragma once

// Small pieces the program's windows are made of: bevelled panels and
// pictures, buttons with a glyph, password fields.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QFrame;
class QIcon;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace widgets {

// A panel with a raised inner and a lowered outer bevel.
QFrame *bevelPanel(QWidget *parent, const QRect &geometry);

// A picture in a panel with two bevels of the given width, raised outside and
// lowered inside; the panel is placed at `at` and sized to fit the picture.
QFrame *bevelledPicture(QWidget *parent, QPoint at, const QString &picture, QSize pictureSize,
    int bevel, QLabel **label);

// A single-line password field of at most maxLength characters, each shown
// as '*', without the context menu that would copy it.
QLineEdit *passwordField(QWidget *parent, const QRect &geometry, int maxLength);
// A password field's text goes when it is emptied, but Qt keeps every typed
// character in the field's undo history for as long as the field lives. This
// puts a new, empty field in its place (geometry, name, tab order, focus,
// label) and destroys the old one with its history once control returns to
// the event loop; freed memory is wiped. The caller installs its event
// filters on the new field again.
QLineEdit *renewPasswordField(QLineEdit *field);

// A button with a glyph. Enter presses it when it has the focus; it is never a
// default button that Enter presses from elsewhere.
QPushButton *glyphButton(
    QWidget *parent, const QString &caption, const QIcon &glyph, const QRect &geometry);

// True for Enter on the main keyboard or the keypad.
bool isEnter(int key);

} // namespace widgets
