#pragma once

// The Quick Mail composer (TForm9): the editor's text as the body, recipients
// and a subject, sent through the program's own mail client with the
// progress window up.

#include "gui/standarddialogs.h"
#include "mail/smtpclient.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QCheckBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPrinter;
class QStatusBar;

namespace gui {
class RichEdit;
}

namespace widgets {
class OpaqueFlatButton;
}

namespace mail::windows {

class PreferencesWindow;
class ProgressWindow;

// The windows the composer opens. Some are made after it, in the program's
// order of creation, so it is handed where to find them.
class ComposerPeers
{
public:
    virtual ~ComposerPeers() = default;
    virtual PreferencesWindow &mailPreferences() = 0;
    virtual ProgressWindow &progressWindow() = 0;
    virtual QDialog &aboutWindow() = 0;
};

class ComposerWindow : public QDialog
{
    Q_OBJECT
public:
    // mainEditor: where the body comes from.
    ComposerWindow(
        const gui::RichEdit &mainEditor, ComposerPeers &peers, QWidget *parent = nullptr);
    ~ComposerWindow() override;

    // Shows the window modally (through the modal seam).
    int showModal();

    bool isSending() const { return m_sending; }

    // The Send button: checks, then sends; failures end in the error box.
    void send();
    // The Close button: cancels a running send and closes.
    void closeComposer();
    // Edit > Clear All.
    void clearAll();
    // The "Attach File" box.
    void attachClicked();
    void print();

protected:
    bool event(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void reinitialise();
    void fillFrom();
    void clearHeader();
    void runSend(const QString &password);
    void setStatus(const QString &text);

    const gui::RichEdit &m_mainEditor;
    ComposerPeers &m_peers;

    QPlainTextEdit *m_to;
    QPlainTextEdit *m_cc;
    QLineEdit *m_from;
    QLineEdit *m_subject;
    QCheckBox *m_attach;
    widgets::OpaqueFlatButton *m_sendButton;
    widgets::OpaqueFlatButton *m_closeButton;
    gui::RichEdit *m_body;
    gui::RichEdit *m_attachment;
    QStatusBar *m_status;
    QMenu *m_contextMenu;
    gui::FileDialog m_attachDialog;
    std::unique_ptr<QPrinter> m_printer;

    SmtpClient m_client;
    bool m_sending = false;
};

} // namespace mail::windows
