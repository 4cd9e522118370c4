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

    // From the moment Send is pressed to the end of the send.
    bool isSending() const { return m_sending; }
    // How long the mail client waits at each step (SmtpClient::StandardTimeOuts).
    void setTimeOuts(const mail::SmtpClient::TimeOuts &timeOuts);

    // The Send button: checks, then sends; failures end in the error box.
    void send();
    // The Close button: cancels a running send and closes.
    void closeComposer();
    // Escape and the close box: the same, but the window ends rejected.
    void reject() override;
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
    // Drops the attached file: it belongs to one mail.
    void forgetAttachment();
    void cancelSend();
    bool askPassword(const QString &key, QString &password);
    // One mail as Send found it.
    struct Outgoing
    {
        QStringList to, cc;
        QString subject;
        QStringList body;
        QString attached;
    };
    void runSend(const Outgoing &mail, const QString &password, const QString &pinned);
    // After a send with refused recipients: which did not get it, and why.
    void tellRefused(const QList<RefusedRecipient> &refused);
    // Shows the certificate; true when the user trusts it for the server.
    bool trustCertificate(const CertificateError &error);
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

    QString m_attached; // the file that goes with the next mail; empty for none
    SmtpClient m_client;
    bool m_sending = false;
    // Set by a close while the send is being prepared (keyring, password).
    bool m_cancelled = false;
    // Why the keyring cannot keep a password, once it refused one; said once.
    QString m_keyringRefused;
};

} // namespace mail::windows
