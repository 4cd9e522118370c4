#pragma once

// The about window: the program's picture and an OK button.

#include "platform/form.h"

class QFrame;
class QLabel;
class QPushButton;

class TForm6 : public platform::Form
{
    Q_OBJECT
public:
    explicit TForm6(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Image1;
    QPushButton *Button2;

    void Button2Click();
};
