#pragma once

// The encrypt dialog: asks for the password twice and the level, and turns
// the editor's whole text into one encrypted block.

#include "platform/form.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QFrame;

namespace platform {
class RichEdit;
}

class TForm2 : public platform::Form
{
    Q_OBJECT
public:
    explicit TForm2(platform::RichEdit *editor, QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Label3;
    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    QRadioButton *RadioButton3;
    QLabel *Label1;
    QLineEdit *Edit1;
    QLabel *Label2;
    QLineEdit *Edit2;
    QPushButton *BitBtn5;
    QPushButton *BitBtn2;

    int level() const;

    void Button1Click();
    void Button2Click();

protected:
    void FormActivate() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Edit1KeyDown();
    void Edit2KeyDown();
    void RadioButton1KeyUp();

    platform::RichEdit *m_editor;
};
