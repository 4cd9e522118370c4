#pragma once

// Pieces both password dialogs are made of, and the domain checks they run.

#include <QRect>
#include <QString>
#include <optional>

class QFrame;
class QLineEdit;
class QPushButton;
class QWidget;
class QIcon;

namespace cipher::ui {

// A panel with a raised inner and a lowered outer bevel.
QFrame *bevelPanel(QWidget *parent, const QRect &geometry);
// A single-line password field: at most 245 characters, each shown as '*'.
QLineEdit *passwordField(QWidget *parent, const QRect &geometry);
// A button with a glyph; Enter never presses it on its own (no default button).
QPushButton *glyphButton(
    QWidget *parent, const QString &caption, const QIcon &glyph, const QRect &geometry);

// True for Enter on the main keyboard or the keypad.
bool isEnter(int key);

// The password as the 8-bit key the cipher uses.
QByteArray passwordBytes(const QString &password);

// Why the cipher would not give this text back exactly, as a sentence for
// the user naming what and where; nullopt when it would.
std::optional<QString> textProblem(const QString &characters);
// Why a password cannot be used for encrypting; nullopt when it can.
std::optional<QString> passwordProblem(const QString &password);

} // namespace cipher::ui
