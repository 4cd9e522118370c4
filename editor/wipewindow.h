#pragma once

// The wipe window (TForm7): names a file and, after a warning (and a second
// one for a file with other names), wipes it (see filewiper.h).

#include "gui/form.h"
#include "gui/standarddialogs.h"

class QLineEdit;

namespace editor {

class WipeWindow : public gui::Form
{
    Q_OBJECT
public:
    explicit WipeWindow(QWidget *parent = nullptr);

    // Browse...: chooses the file name with the open dialog.
    void browse();
    // Wipe File: asks, wipes, and closes when the wipe succeeded.
    void wipe();
    // Cancel.
    void cancel();

protected:
    void onActivate() override;

private:
    QLineEdit *m_fileName;
    gui::FileDialog m_openDialog;
};

} // namespace editor
