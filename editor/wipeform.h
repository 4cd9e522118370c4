#pragma once

// The file wiper: after a warning, overwrites a file the user names with
// random bytes in place, flushes them to the device and deletes the file.

#include "platform/dialogs.h"
#include "platform/form.h"

class QFile;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class RichEdit;
}

class TForm7 : public platform::Form
{
    Q_OBJECT
public:
    explicit TForm7(QWidget *parent = nullptr);

    // Files up to this size are also read into RichEdit1 as a document;
    // larger ones are only read through. A document costs some microseconds
    // per paragraph, and a file of nothing but line breaks is one paragraph
    // per byte: at this size that is about a second, at 16 MB minutes.
    static constexpr qint64 kBufferLimit = 256 * 1024;

    QFrame *Panel1;
    QLabel *Label1;
    QLineEdit *Edit1;
    QPushButton *Button1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    // Holds the content of the file last read; never shown.
    platform::RichEdit *RichEdit1;
    platform::FileDialog OpenDialog1;

    void Button1Click();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void FormActivate() override;

private:
    // The wipe after the warning; failures are thrown as platform::Error.
    void wipe(const QString &name);
    // Reads the file through: into RichEdit1 when it is small enough.
    void readCheck(const QString &name, QFile &file);
};
