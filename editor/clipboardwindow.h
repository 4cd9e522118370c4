#pragma once

// Options > Clear Clipboard After...: how long a copy of decrypted text stays
// on the clipboard, remembered in the settings.

#include <QDialog>

class QSpinBox;

namespace editor {

class ClipboardWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ClipboardWindow(QWidget *parent = nullptr);

    // Shows the stored delay modally (through the modal seam); OK stores the
    // one chosen. False when cancelled or when the store refused it (after
    // the error box).
    bool choose();
    int seconds() const;

private:
    QSpinBox *m_seconds;
};

} // namespace editor
