#pragma once

// The start-up notice: a word about this beta release, shown about a second
// after start-up until the user ticks the box and presses OK.

#include "platform/form.h"

class QCheckBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;

class TForm4 : public platform::Form
{
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);

    QFrame *Panel1;
    QPlainTextEdit *Memo1;
    QCheckBox *CheckBox1;
    QPushButton *Button1;

    // OK: closes the notice, then, when the box is ticked, stores that it
    // is not to come again. A store that cannot be written shows the error
    // box, over the closed notice.
    void Button1Click();

    // The notice's text, one entry per line.
    static QStringList noticeLines();
};
