#pragma once

// The start-up notice (TForm4): a word about this beta release, shown about a
// second after start-up until the user ticks the box and presses OK.

#include "gui/form.h"

class QCheckBox;

namespace editor {

class NoticeWindow : public gui::Form
{
    Q_OBJECT
public:
    explicit NoticeWindow(QWidget *parent = nullptr);

    // OK: closes the notice, then, when the box is ticked, stores that it
    // is not to come again. A store that cannot be written shows the error
    // box, over the closed notice.
    void ok();

    // The notice's text, one entry per line.
    static QStringList noticeLines();

private:
    QCheckBox *m_dontShowAgain;
};

} // namespace editor
