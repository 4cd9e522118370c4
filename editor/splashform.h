#pragma once

// The splash window: the program's picture in a bevelled frame, shown while
// the program starts and destroyed before the message loop runs.

#include <QWidget>

class QFrame;
class QLabel;

class TForm5 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Image1;

protected:
    void showEvent(QShowEvent *event) override;
};

// A picture in a panel with two bevels of the given width, raised outside and
// lowered inside; the panel is placed at `at` and sized to fit the picture.
// The splash and about windows frame their pictures this way.
QFrame *bevelledPicture(QWidget *parent, QPoint at, const QString &picture, QSize pictureSize,
    int bevel, QLabel **label);
