#pragma once

// A TCP client socket for the user-interface thread: looks a host up,
// connects, writes text, reads reply lines and runs command/reply
// transactions, reporting status texts by level. Every wait runs the
// application's event loop until its event, its time-out or a cancel, so the
// windows stay alive and a Close can cancel; it sleeps until the next event
// instead of spinning. Every failure, time-out and cancel is a SocketError
// with a fixed text.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

class QEventLoop;
class QHostInfo;
class QSslSocket;
class QTimer;

namespace mail {

// The socket's failures; what() is the user's text in UTF-8.
class SocketError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A TLS certificate the system does not trust (or not the one trusted for
// the server): what() names the reasons; the certificate comes with it so
// that the user can be shown it.
class CertificateError : public SocketError
{
public:
    CertificateError(const QString &text, const QSslCertificate &certificate,
        const QStringList &reasons, const QString &trusted);

    QSslCertificate certificate() const { return m_certificate; }
    QStringList reasons() const { return m_reasons; }
    // The fingerprint trusted for the server when it is not this
    // certificate's; empty when none was.
    QString trustedFingerprint() const { return m_trusted; }

private:
    QSslCertificate m_certificate;
    QStringList m_reasons;
    QString m_trusted;
};

class Socket : public QObject
{
    Q_OBJECT

public:
    // What handle() gives when there is no socket descriptor.
    static constexpr quint16 NoHandle = 65535;
    // A line read by readLine() is at most this long; longer lines come in
    // pieces of this size.
    static constexpr int MaxPiece = 255;

    explicit Socket(QObject *parent = nullptr);
    ~Socket() override;

    quint16 handle() const;
    QString host() const { return m_host; }
    void setHost(const QString &host) { m_host = host; }
    // Reading and writing report a status text at level 8.
    int lastErrorNo();
    void setLastErrorNo(int number);
    // Only the low 16 bits are used.
    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    QString status() const { return m_status; }
    // The limit of each single wait in milliseconds; 0 (the default) means
    // none. A negative value counts as 0.
    int timeOut() const { return m_timeOut; }
    void setTimeOut(int milliseconds);
    // What the network library reports about itself, one fact a line.
    QStringList libraryInfo() const;
    bool beenCanceled() const { return m_beenCanceled; }
    void setBeenCanceled(bool canceled) { m_beenCanceled = canceled; }
    QByteArray transactionReply() const { return m_transactionReply; }
    // Status texts of a level above this one are not reported.
    int reportLevel() const { return m_reportLevel; }
    void setReportLevel(int level) { m_reportLevel = level; }
    // Kept at 0: nothing in the program counts bytes.
    int bytesTotal() const { return 0; }
    int bytesSent() const { return 0; }
    int bytesReceived() const { return 0; }
    // A connection is established or being attempted.
    bool isConnected() const { return m_connected; }
    // The last wait ended because its time-out fired.
    bool beenTimedOut() const { return m_beenTimedOut; }
    // The code of the last reply read by transaction(); 0 when it had no
    // leading digits.
    int replyCode() const { return m_replyCode; }
    bool isEncrypted() const;

    // Certificates trusted besides the system's for the TLS of later
    // connections (a test's own certificate authority, say).
    void addTrustedCertificates(const QList<QSslCertificate> &certificates);
    // The one certificate, by its SHA-256 fingerprint, that the user trusts
    // for this server although the system does not; any other that the
    // system does not trust is refused. Empty: none.
    QString pinnedCertificate() const { return m_pinned; }
    void setPinnedCertificate(const QString &fingerprint) { m_pinned = fingerprint; }
    // "AB:12:..." of the certificate's SHA-256 digest.
    static QString fingerprintOf(const QSslCertificate &certificate);

    // Resolves host() and connects to it at port(). Clears beenCanceled first.
    virtual void connectToHost();
    // Reports "Disconnecting", then closes the socket; the next connect gets
    // a fresh one.
    virtual void disconnectFromHost();
    // Ends the running wait, and every later one until the next connect,
    // with its cancel text. Safe to call at any moment.
    void cancel();
    // Writes the command and CR LF, reads one reply line and takes its code.
    virtual QByteArray transaction(const QByteArray &command);
    // Sends the bytes as they are.
    void write(const QByteArray &bytes);
    // Sends the bytes followed by CR LF.
    void writeLine(const QByteArray &bytes);
    // One reply line with its CR LF, or a piece of MaxPiece bytes of a longer
    // one; empty when the peer has closed the connection.
    QByteArray readLine();
    // Sends exactly these bytes, waiting while the outgoing buffer is full.
    void sendBuffer(const QByteArray &bytes);

    // The reply code of a line: its leading digits (at most the first 10),
    // or 0 when it has none.
    static int replyCodeOf(const QByteArray &line);

signals:
    // Every status text within reportLevel(), as status() takes it.
    void statusText(const QString &text);
    void socketError(quint16 number, const QString &text);
    void hostFound();

private slots:
    void onLookup(const QHostInfo &info);

protected:
    void reportStatus(int level, const QString &text);
    void setReplyCode(int code) { m_replyCode = code; }
    // Closes the socket, if any, and makes a fresh one (none while the
    // object is being destroyed).
    void releaseSocket();
    // Switches the connection to TLS, verifying the certificate against
    // peerName. Raises the TLS texts. Refuses when anything has arrived that
    // was not read yet: it came before the encryption and would be taken for
    // what the server said inside it.
    void startEncryption(const QString &peerName);
    // Waits until everything written has gone out to the peer.
    void waitUntilWritten();
    // Drops whatever has arrived and was not read.
    void discardReceived();
    // True while the peer is still there to talk to.
    bool isOpen() const;
    // A whole line through its CR LF, whatever its length up to limit bytes
    // (then those bytes); what is left when the peer has closed; empty when
    // nothing is.
    QByteArray readWholeLine(qsizetype limit);
    QHostAddress localAddress() const;

private:
    struct WaitTexts
    {
        const char *timedOut;
        const char *canceled;
        const char *failed;
    };

    void makeSocket();
    void resolveHost();
    void waitForWrite();
    void waitForRead();
    // Runs the event loop until done() holds or the wait is ended; then
    // raises its time-out, cancel or failure text, in that order.
    void wait(const std::function<bool()> &done, const std::function<bool()> &failed,
        const WaitTexts &texts);
    void wake();
    void startTimeOut();
    void stopTimeOut();
    void onTimeOut();
    [[noreturn]] void raiseSocketError(int number);
    qsizetype lineLength() const;
    qsizetype wholeLineLength(qsizetype limit) const;

    QSslSocket *m_socket = nullptr;
    QTimer *m_timer = nullptr;
    QEventLoop *m_loop = nullptr;
    std::function<bool()> m_waitDone;
    QList<QSslCertificate> m_trusted;
    QString m_pinned;
    QSslCertificate m_rejected;
    QStringList m_rejectReasons;

    QString m_host;
    int m_port = 0;
    int m_lastErrorNo = 0;
    QString m_status;
    int m_timeOut = 0;
    bool m_beenCanceled = false;
    QByteArray m_transactionReply;
    int m_reportLevel = 1;
    bool m_connected = false;
    bool m_beenTimedOut = false;
    int m_replyCode = 0;

    QHostAddress m_remote;
    int m_lookupId = -1;
    bool m_lookupDone = false;
    bool m_lookupOk = false;
    // Set by a socket error or a rejected certificate, with its reason.
    bool m_failed = false;
    QString m_failReason;
    bool m_destroying = false;
};

} // namespace mail
