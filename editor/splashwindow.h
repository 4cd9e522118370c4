#pragma once

// The splash window (TForm5): the program's picture in a bevelled frame,
// shown while the program starts and destroyed before the message loop runs.

#include <QWidget>

namespace editor {

class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace editor
