#pragma once

// Our windows behave like forms: a window's activation handler runs when it
// becomes the program's active window in place of another of our windows
// (shown, or returned to when a modal window closes), not when a message box
// over it closes or when the user comes back from another program.

#include <QDialog>
#include <QSize>

namespace gui {

// Call from a window's event() on QEvent::WindowActivate; true when the
// window's activation handler should run.
bool becomesActiveForm(QWidget *window);
// Call when a window hides, so coming back to the window under it counts.
void formHidden(QWidget *window);

// A fixed-size dialog window with a single border and only the system menu,
// centred on the screen, shown modally through the modal seam.
class Form : public QDialog
{
    Q_OBJECT
public:
    Form(const QString &objectName, const QString &caption, QSize clientSize,
        QWidget *parent = nullptr);

    // Shows the window modally (through modal().execModal) and returns its result.
    int showModal();

protected:
    // Runs when the window becomes the active one of our windows.
    virtual void onActivate() { }
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QSize m_designSize;
};

// The window's controls are placed for a small system font. Where a caption
// would not fit at the font and scale in use, the window and everything in it
// grow by one factor across and one down, so the arrangement stays and every
// text shows whole; the placed sizes are the least. Call it again after a
// change of font: it starts from the placed sizes each time.
void fitToTexts(QWidget *window, QSize designSize);

// Moves a top-level window to the centre of its screen.
void centreOnScreen(QWidget *window);

} // namespace gui
