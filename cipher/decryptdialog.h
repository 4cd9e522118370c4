#pragma once

// The decrypt dialog: asks for the password once, finds the block in the
// editor's text, deciphers it and reports the verdict.

#include "platform/form.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class RichEdit;
}

class TForm3 : public platform::Form
{
    Q_OBJECT
public:
    explicit TForm3(platform::RichEdit *editor, QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Label1;
    QLineEdit *Edit1;
    QPushButton *BitBtn6;
    QPushButton *BitBtn2;

    void Button1Click();
    void Button2Click();

protected:
    void FormActivate() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    platform::RichEdit *m_editor;
};
