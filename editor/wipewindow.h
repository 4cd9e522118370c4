#pragma once

// The wipe window (TForm7): names a file and, after a warning, wipes it (see
// filewiper.h).

#include "gui/form.h"
#include "gui/standarddialogs.h"

class QFile;
class QLineEdit;

namespace gui {
class RichEdit;
}

namespace editor {

class WipeWindow : public gui::Form
{
    Q_OBJECT
public:
    explicit WipeWindow(QWidget *parent = nullptr);

    // Files up to this size are also read into the hidden buffer as a
    // document; larger ones are only read through. A document costs some
    // microseconds per paragraph, and a file of nothing but line breaks is
    // one paragraph per byte: at this size that is about a second, at 16 MB
    // minutes.
    static constexpr qint64 kBufferLimit = 256 * 1024;

    // Browse...: chooses the file name with the open dialog.
    void browse();
    // Wipe File: asks, wipes, and closes when the wipe succeeded.
    void wipe();
    // Cancel.
    void cancel();

protected:
    void onActivate() override;

private:
    // Reads the file through: into the buffer when it is small enough.
    void readCheck(const QString &name, QFile &file);

    QLineEdit *m_fileName;
    gui::RichEdit *m_buffer; // the content of the file last read; never shown
    gui::FileDialog m_openDialog;
};

} // namespace editor
