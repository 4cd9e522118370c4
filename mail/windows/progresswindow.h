#pragma once

// The progress window (TForm11): "Sending Mail..." with a van driving across,
// up while Quick Mail sends. The user cannot close it.

#include "gui/form.h"

class QLabel;
class QTimer;

namespace mail::windows {

class ProgressWindow : public gui::Form
{
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget *parent = nullptr);

    // Shown without blocking, in front; the van drives while it is up.
    void start();
    // Hidden; the van stops where it is, and starts from there next time.
    void stop();

    // One step of the van: 2 pixels right, back to the left edge past the
    // right one.
    void step();

private:
    QLabel *m_van;
    QTimer *m_timer;
    int m_position = 0;
    int m_sweeps = 0;
};

} // namespace mail::windows
