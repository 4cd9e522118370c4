#pragma once

// The program's own mail sender: the SMTP dialogue on the socket layer.
// connectToHost() greets the server (EHLO, else HELO), switches to TLS when
// the server offers it and logs in when a user name is given;
// sendMail() runs one mail transaction for the current addresses, subject
// and body; disconnectFromHost() says QUIT. Every wait keeps the windows
// alive, and abort() (from a Close, say) ends the running one.
//
// Failures are exceptions: SocketError with the socket layer's texts,
// SmtpError with the server's reply line (CR LF included) or the client's own
// text. A failed connect or send leaves the client idle, ready to connect
// afresh.

#include "mail/mimetext.h"
#include "mail/socket.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

namespace mail {

// A refusal by the server or the client; what() is the user's text in UTF-8.
class SmtpError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct RefusedRecipient
{
    QString address;
    QByteArray reply; // the server's reply line

    // A 4xx reply: the server may take it later (greylisting, a full box).
    bool temporary() const { return reply.startsWith('4'); }
    // "address: reply", a temporary refusal said to be one.
    QString describe() const;
};

// How the connection is encrypted.
enum class Security {
    // TLS from the first byte on port 465; elsewhere STARTTLS when the server
    // offers it, plain text when it does not (but never a password, nor the
    // submission port).
    Automatic,
    // STARTTLS or nothing: a server that does not offer it is refused.
    StartTls,
    // TLS from the first byte, whatever the port (465 when none is given).
    Tls,
    // Plain text, for a relay on the local machine.
    None,
};

class SmtpClient : public Socket
{
    Q_OBJECT

public:
    static constexpr int DefaultPort = 25;
    // The port that speaks TLS from the first byte.
    static constexpr int ImplicitTlsPort = 465;
    // The submission port, where nothing goes out without encryption.
    static constexpr int SubmissionPort = 587;
    // How long each step may wait for its event: a server that stops
    // answering fails the send instead of holding it, and a slow one that
    // would still take the mail is given the time the mail standard gives it.
    struct TimeOuts
    {
        // The connection, its TLS handshake and the "220" greeting.
        std::chrono::milliseconds greeting;
        std::chrono::milliseconds mailFrom;
        std::chrono::milliseconds recipient;
        // The reply to DATA.
        std::chrono::milliseconds dataStart;
        // Each wait while the message goes out.
        std::chrono::milliseconds dataBlock;
        // The reply to the final ".": the server may check the whole mail first.
        std::chrono::milliseconds dataEnd;
        // EHLO, STARTTLS, AUTH, RSET and QUIT, for which the standard names
        // no time: as long as MAIL FROM.
        std::chrono::milliseconds otherCommand;

        friend bool operator==(const TimeOuts &, const TimeOuts &) = default;
    };
    // RFC 5321 4.5.3.2, the least a client should wait at each step.
    static constexpr TimeOuts StandardTimeOuts {
        std::chrono::minutes(5),
        std::chrono::minutes(5),
        std::chrono::minutes(5),
        std::chrono::minutes(2),
        std::chrono::minutes(3),
        std::chrono::minutes(10),
        std::chrono::minutes(5),
    };

    explicit SmtpClient(QObject *parent = nullptr);

    TimeOuts timeOuts() const { return m_timeOuts; }
    void setTimeOuts(const TimeOuts &timeOuts) { m_timeOuts = timeOuts; }

    // Set it before setServer(), which takes its default port from it.
    Security security() const { return m_security; }
    void setSecurity(Security security) { m_security = security; }
    // The server as the preferences hold it: "host", "host:port",
    // "[IPv6 address]:port". Sets host() and port() (when none is given,
    // 465 for TLS, else 25). Throws SmtpError for a malformed text.
    void setServer(const QString &server);
    // TLS from the first byte instead of STARTTLS.
    bool implicitTls() const;

    // The name given with EHLO; when empty, the host's name if it is a
    // full domain name, else the local address as "[127.0.0.1]".
    QString userId() const { return m_userId; }
    void setUserId(const QString &name) { m_userId = name; }
    // Log in (AUTH PLAIN or LOGIN, only over TLS) when userName is not empty.
    void setCredentials(const QString &userName, const QString &password);

    QString fromAddress() const { return m_from; }
    void setFromAddress(const QString &address) { m_from = address; }
    // The sender's name, shown with the address in the From header.
    QString fromName() const { return m_fromName; }
    void setFromName(const QString &name) { m_fromName = name; }
    // One address per entry, used as they stand.
    QStringList toAddress() const { return m_to; }
    void setToAddress(const QStringList &addresses) { m_to = addresses; }
    QStringList toCarbonCopy() const { return m_cc; }
    void setToCarbonCopy(const QStringList &addresses) { m_cc = addresses; }
    // Get RCPT TO only; named in no header.
    QStringList toBlindCarbonCopy() const { return m_bcc; }
    void setToBlindCarbonCopy(const QStringList &addresses) { m_bcc = addresses; }
    QString subject() const { return m_subject; }
    void setSubject(const QString &subject) { m_subject = subject; }
    // The message lines; a line end inside an entry also ends a line.
    QStringList body() const { return m_body; }
    void setBody(const QStringList &lines) { m_body = lines; }
    // Files sent with the mail as attachments (base64 parts), read when the
    // mail is sent; one that cannot be read stops the send before it starts.
    QStringList attachments() const { return m_attachments; }
    void setAttachments(const QStringList &files) { m_attachments = files; }
    // The X-Mailer header's value.
    QString localProgram() const { return m_localProgram; }
    void setLocalProgram(const QString &name) { m_localProgram = name; }

    // Connects, reads the greeting, says EHLO (HELO when EHLO is refused),
    // STARTTLS when offered, and logs in when a user name is set. On failure
    // says QUIT when it can and closes; the exception leaves.
    void connectToHost() override;
    // The mail transaction: RSET, MAIL FROM, RCPT TO for every recipient,
    // DATA, the message, ".". Recipients the server refuses are passed over
    // (see refusedRecipients()); when it refuses every one, no DATA is sent
    // and SmtpError names them with the server's replies. Addresses that are
    // not ASCII go out with SMTPUTF8 when the server offers it and are
    // refused before anything is sent when it does not; domain names go in
    // their ASCII form. On any failure the connection is closed, with a QUIT
    // when the server is still in step, so the next send connects afresh.
    // Throws SocketError("Not connected") on an idle client.
    void sendMail();
    // QUIT (a reply of 340 or more is raised), then the socket is closed in
    // every case. Throws SocketError("Not connected") on an idle client.
    void disconnectFromHost() override;
    // Cancels the running wait, and every later one until the next connect.
    void abort();

    // The recipients the last sendMail() passed over, in order.
    QList<RefusedRecipient> refusedRecipients() const { return m_refused; }
    // The last line of the last reply read.
    QByteArray lastReplyLine() const { return m_lastLine; }

signals:
    void recipientRefused(const QString &address, const QByteArray &reply);

private:
    struct Envelope;

    // The client sets the socket's limit itself at every step.
    using Socket::setTimeOut;
    // The limit of the waits that follow, until the next step.
    void waitAtMost(std::chrono::milliseconds limit);

    QList<QByteArray> command(const QByteArray &line);
    QList<QByteArray> readReply();
    QByteArray readReplyLine();
    [[noreturn]] void brokenExchange(const QByteArray &text);
    void check(int lowest = 200);
    void hello();
    void authenticate();
    QByteArray ehloName() const;
    void quit();
    // After a failure: QUIT while the server is still in step, else the
    // connection is dropped.
    void closeAfterFailure();
    QByteArray messageText(const Envelope &envelope, const QList<Attachment> &files) const;
    QList<Attachment> readAttachments() const;
    void checkInput() const;
    Envelope envelope() const;

    class Busy;
    bool m_busy = false;
    // The exchange is out of step (a reply too long, the server gone): no
    // more commands on it.
    bool m_broken = false;

    TimeOuts m_timeOuts = StandardTimeOuts;
    Security m_security = Security::Automatic;
    QString m_userId;
    QString m_userName;
    QString m_password;
    QString m_from;
    QString m_fromName;
    QStringList m_to, m_cc, m_bcc;
    QString m_subject;
    QStringList m_body;
    QStringList m_attachments;
    QString m_localProgram;

    QStringList m_extensions; // EHLO keywords with their parameters, upper case
    QList<RefusedRecipient> m_refused;
    QByteArray m_lastLine;
};

} // namespace mail
