#pragma once

// The about window (TForm6): the program's picture and an OK button.

#include "gui/form.h"

namespace editor {

class AboutWindow : public gui::Form
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget *parent = nullptr);
};

} // namespace editor
