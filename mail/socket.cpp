#include "mail/socket.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <limits>

namespace mail {

namespace {

// While more than this is waiting to go out, a write waits for the peer: a
// large message never sits in memory twice, and a stalled server holds the
// send instead of filling the buffer without end.
constexpr qint64 HighWater = 256 * 1024;

[[noreturn]] void raise(const char *text)
{
    throw SocketError(text);
}

[[noreturn]] void raise(const QString &text)
{
    throw SocketError(text.toUtf8().toStdString());
}

// Compared without regard to case or colons.
QString normalised(const QString &fingerprint)
{
    return fingerprint.toUpper().remove(QLatin1Char(':'));
}

} // namespace

CertificateError::CertificateError(const QString &text, const QSslCertificate &certificate,
    const QStringList &reasons, const QString &trusted)
    : SocketError(text.toUtf8().toStdString())
    , m_certificate(certificate)
    , m_reasons(reasons)
    , m_trusted(trusted)
{ }

QString Socket::fingerprintOf(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

Socket::Socket(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer); // a coarse one may fire 5% early
    connect(m_timer, &QTimer::timeout, this, &Socket::onTimeOut);
    reportStatus(8, QStringLiteral("Initializing Winsock"));
    makeSocket();
}

Socket::~Socket()
{
    m_destroying = true;
    releaseSocket();
}

void Socket::makeSocket()
{
    m_socket = new QSslSocket(this);
    const auto wakeUp = [this] { wake(); };
    connect(m_socket, &QAbstractSocket::connected, this, wakeUp);
    connect(m_socket, &QAbstractSocket::disconnected, this, wakeUp);
    connect(m_socket, &QAbstractSocket::stateChanged, this, wakeUp);
    connect(m_socket, &QIODevice::readyRead, this, wakeUp);
    connect(m_socket, &QIODevice::bytesWritten, this, wakeUp);
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, wakeUp);
    connect(m_socket, &QSslSocket::encrypted, this, wakeUp);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] {
        if (m_failReason.isEmpty())
            m_failReason = m_socket->errorString();
        m_failed = true;
        wake();
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        QSslCertificate peer = m_socket->peerCertificate();
        if (peer.isNull() && !errors.isEmpty())
            peer = errors.first().certificate();
        // Only the very certificate the user chose to trust for this server
        // gets past; every other is refused with the reasons named.
        if (!m_pinned.isEmpty() && !peer.isNull()
            && normalised(fingerprintOf(peer)) == normalised(m_pinned)) {
            m_socket->ignoreSslErrors();
            return;
        }
        QStringList reasons;
        for (const QSslError &e : errors)
            reasons << e.errorString();
        m_rejected = peer;
        m_rejectReasons = reasons;
        if (m_pinned.isEmpty())
            m_failReason =
                QStringLiteral("Certificate Rejected: ") + reasons.join(QStringLiteral("; "));
        else
            m_failReason = QStringLiteral("Certificate Rejected: it is not the certificate trusted "
                                          "for %1:%2 (trusted SHA-256 %3, now %4)")
                               .arg(m_host)
                               .arg(m_port)
                               .arg(m_pinned, fingerprintOf(peer));
        m_failed = true;
        wake();
    });
}

quint16 Socket::handle() const
{
    const qintptr fd = m_socket ? m_socket->socketDescriptor() : -1;
    return fd >= 0 && fd < NoHandle ? quint16(fd) : NoHandle;
}

int Socket::lastErrorNo()
{
    reportStatus(8, QStringLiteral("Getting LastError Number"));
    return m_lastErrorNo;
}

void Socket::setLastErrorNo(int number)
{
    reportStatus(8, QStringLiteral("Setting LastError Number"));
    m_lastErrorNo = number;
}

void Socket::setTimeOut(int milliseconds)
{
    m_timeOut = std::max(0, milliseconds);
}

QStringList Socket::libraryInfo() const
{
    return {QStringLiteral("Qt Network %1").arg(QLatin1String(qVersion())),
        QStringLiteral("TLS backend: %1").arg(QSslSocket::activeBackend()),
        QStringLiteral("TLS library: %1").arg(QSslSocket::sslLibraryVersionString())};
}

bool Socket::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

bool Socket::isOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

QHostAddress Socket::localAddress() const
{
    return m_socket ? m_socket->localAddress() : QHostAddress();
}

void Socket::addTrustedCertificates(const QList<QSslCertificate> &certificates)
{
    m_trusted += certificates;
}

void Socket::reportStatus(int level, const QString &text)
{
    // Nothing goes to the listeners of an object that is being destroyed.
    if (level > m_reportLevel || m_destroying)
        return;
    m_status = text;
    emit statusText(text);
}

// --- waits

void Socket::startTimeOut()
{
    reportStatus(8, QStringLiteral("Timer On"));
    m_beenTimedOut = false;
    if (m_timeOut > 0)
        m_timer->start(m_timeOut);
}

void Socket::stopTimeOut()
{
    reportStatus(8, QStringLiteral("Timer Off"));
    m_timer->stop();
}

void Socket::onTimeOut()
{
    stopTimeOut();
    m_beenTimedOut = true;
    reportStatus(8, QStringLiteral("Timer Triggered"));
    if (m_loop)
        m_loop->quit();
}

void Socket::wake()
{
    if (m_loop && m_waitDone && m_waitDone())
        m_loop->quit();
}

void Socket::wait(
    const std::function<bool()> &done, const std::function<bool()> &failed, const WaitTexts &texts)
{
    startTimeOut();
    if (!m_beenCanceled && !m_beenTimedOut && !done() && !failed()) {
        // Nested waits (a command run from inside a wait) keep the outer one.
        QEventLoop loop;
        QEventLoop *outerLoop = std::exchange(m_loop, &loop);
        auto outerDone = std::exchange(m_waitDone, [&] { return done() || failed(); });
        loop.exec();
        m_loop = outerLoop;
        m_waitDone = std::move(outerDone);
    }
    stopTimeOut();
    if (m_beenTimedOut)
        raise(texts.timedOut);
    if (m_beenCanceled)
        raise(texts.canceled);
    if (texts.failed && failed())
        raise(texts.failed);
}

// --- connecting

void Socket::onLookup(const QHostInfo &info)
{
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    m_lookupDone = true;
    m_remote.clear();
    const QList<QHostAddress> addresses = info.addresses();
    for (const QHostAddress &a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            m_remote = a;
            break;
        }
    }
    if (m_remote.isNull() && !addresses.isEmpty())
        m_remote = addresses.first();
    m_lookupOk = info.error() == QHostInfo::NoError && !addresses.isEmpty();
    wake();
}

void Socket::resolveHost()
{
    // A dotted address needs no lookup.
    if (m_remote.setAddress(m_host))
        return;
    m_lookupDone = false;
    m_lookupOk = false;
    // Through a named slot: a functor given to the lookup leaks when this
    // object goes before the answer comes.
    m_lookupId = QHostInfo::lookupHost(m_host, this, SLOT(onLookup(QHostInfo)));
    try {
        wait([this] { return m_lookupDone; }, [this] { return m_lookupDone && !m_lookupOk; },
            {"Host Lookup Timed Out", "Host Lookup Canceled", "Host Lookup Failed"});
    } catch (...) {
        // The lookup runs to its end and its answer is ignored.
        m_lookupId = -1;
        throw;
    }
    emit hostFound();
}

void Socket::connectToHost()
{
    m_beenCanceled = false;
    if (m_connected)
        raise("Already connected");
    resolveHost();
    if (m_remote.isNull() || m_remote == QHostAddress(QHostAddress::AnyIPv4)
        || m_remote == QHostAddress(QHostAddress::AnyIPv6))
        raise("Null Remote Address");
    reportStatus(2, QStringLiteral("Connecting"));
    m_connected = true;
    if (!m_socket)
        makeSocket();
    m_failed = false;
    m_failReason.clear();
    m_socket->connectToHost(m_remote, quint16(m_port & 0xffff));
    try {
        wait([this] { return m_socket->state() == QAbstractSocket::ConnectedState; },
            [this] { return m_failed || m_socket->state() == QAbstractSocket::UnconnectedState; },
            {"Connection Timed Out", "Connection Canceled", "Connection Failed"});
    } catch (...) {
        m_connected = false;
        // The same socket serves the next attempt, reset to its first state.
        m_socket->abort();
        throw;
    }
}

void Socket::startEncryption(const QString &peerName)
{
    reportStatus(2, QStringLiteral("Starting TLS"));
    if (!QSslSocket::supportsSsl())
        raise("TLS Not Available");
    QSslConfiguration config = m_socket->sslConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::SecureProtocols);
    if (!m_trusted.isEmpty())
        config.setCaCertificates(QSslConfiguration::systemCaCertificates() + m_trusted);
    m_socket->setSslConfiguration(config);
    m_socket->setPeerVerifyName(peerName);
    m_failed = false;
    m_failReason.clear();
    m_rejected.clear();
    m_rejectReasons.clear();
    if (m_socket->bytesAvailable() > 0) {
        m_socket->abort();
        raise("TLS Refused: text arrived before the encryption began, as if from inside it "
              "(it may have been put there on the way); the connection was closed");
    }
    m_socket->startClientEncryption();
    try {
        wait([this] { return m_socket->isEncrypted(); },
            [this] { return m_failed || m_socket->state() != QAbstractSocket::ConnectedState; },
            {"TLS Handshake Timed Out", "TLS Handshake Canceled", nullptr});
    } catch (...) {
        // A half-done handshake leaves nothing to talk over.
        m_socket->abort();
        throw;
    }
    if (!m_socket->isEncrypted()) {
        m_socket->abort();
        if (!m_rejected.isNull() || !m_rejectReasons.isEmpty())
            throw CertificateError(m_failReason, m_rejected, m_rejectReasons, m_pinned);
        raise(QStringLiteral("TLS Handshake Failed: ")
            + (m_failReason.isEmpty() ? m_socket->errorString() : m_failReason));
    }
}

void Socket::waitUntilWritten()
{
    if (!m_connected)
        raise("Not connected");
    wait(
        [this] {
            return m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite() == 0
                && m_socket->state() == QAbstractSocket::ConnectedState;
        },
        [this] { return m_socket->state() != QAbstractSocket::ConnectedState; },
        {"Write Timed Out", "Write Canceled", "Write Failed"});
}

void Socket::discardReceived()
{
    if (m_socket)
        m_socket->readAll();
}

void Socket::disconnectFromHost()
{
    reportStatus(2, QStringLiteral("Disconnecting"));
    releaseSocket();
}

void Socket::releaseSocket()
{
    reportStatus(4, QStringLiteral("Request Close Socket"));
    m_connected = false;
    if (m_socket) {
        m_socket->abort();
        delete m_socket;
        m_socket = nullptr;
    }
    if (!m_destroying)
        makeSocket();
}

void Socket::cancel()
{
    reportStatus(2, QStringLiteral("Canceling"));
    m_beenCanceled = true;
    if (m_loop)
        m_loop->quit();
}

// --- writing

void Socket::waitForWrite()
{
    if (!m_connected)
        raise("Not connected");
    wait(
        [this] {
            return m_socket->state() == QAbstractSocket::ConnectedState
                && m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite() < HighWater;
        },
        [this] { return m_socket->state() != QAbstractSocket::ConnectedState; },
        {"Write Timed Out", "Write Canceled", "Write Failed"});
}

void Socket::raiseSocketError(int number)
{
    reportStatus(16, QStringLiteral("Checking Error In Error Manager"));
    m_lastErrorNo = number;
    const QString text = number ? QStringLiteral("Unknown Error No. %1").arg(number) : QString();
    reportStatus(8, QStringLiteral("Looking Up Error Message") + text);
    emit socketError(quint16(number), text);
    raise(text);
}

void Socket::sendBuffer(const QByteArray &bytes)
{
    reportStatus(4, QStringLiteral("Sending Buffer"));
    qsizetype position = 0;
    while (position < bytes.size()) {
        waitForWrite();
        const qint64 room =
            HighWater - m_socket->bytesToWrite() - m_socket->encryptedBytesToWrite();
        const qint64 count = std::min<qint64>(room, bytes.size() - position);
        const qint64 sent = m_socket->write(bytes.constData() + position, count);
        if (sent < 0)
            raiseSocketError(int(m_socket->error()));
        position += sent;
    }
}

void Socket::write(const QByteArray &bytes)
{
    reportStatus(2, QStringLiteral("Sending"));
    sendBuffer(bytes);
}

void Socket::writeLine(const QByteArray &bytes)
{
    reportStatus(2, QStringLiteral("WriteLn"));
    sendBuffer(bytes + "\r\n");
}

// --- reading

void Socket::waitForRead()
{
    if (!m_connected)
        raise("Not connected");
    wait(
        [this] {
            return m_socket->bytesAvailable() > 0
                || m_socket->state() != QAbstractSocket::ConnectedState;
        },
        [] { return false; }, {"Read Timed Out", "Read Canceled", nullptr});
}

qsizetype Socket::lineLength() const
{
    char piece[MaxPiece];
    const qint64 n = m_socket->peek(piece, MaxPiece);
    for (qint64 i = 0; i + 1 < n; ++i) {
        if (piece[i] == '\r' && piece[i + 1] == '\n')
            return i + 2;
    }
    return n >= MaxPiece ? MaxPiece : 0;
}

QByteArray Socket::readLine()
{
    waitForRead();
    // The rest of the line, unless the peer has gone.
    wait(
        [this] { return lineLength() > 0 || m_socket->state() != QAbstractSocket::ConnectedState; },
        [] { return false; }, {"Read Timed Out", "Read Canceled", nullptr});
    qsizetype length = lineLength();
    if (length == 0)
        length = std::min<qint64>(m_socket->bytesAvailable(), MaxPiece);
    return m_socket->read(length);
}

qsizetype Socket::wholeLineLength(qsizetype limit) const
{
    const QByteArray bytes = m_socket->peek(std::min<qint64>(m_socket->bytesAvailable(), limit));
    const qsizetype end = bytes.indexOf("\r\n");
    return end >= 0 ? end + 2 : (bytes.size() >= limit ? limit : 0);
}

QByteArray Socket::readWholeLine(qsizetype limit)
{
    waitForRead();
    wait(
        [&] {
            return wholeLineLength(limit) > 0
                || m_socket->state() != QAbstractSocket::ConnectedState;
        },
        [] { return false; }, {"Read Timed Out", "Read Canceled", nullptr});
    qsizetype length = wholeLineLength(limit);
    if (length == 0)
        length = std::min<qint64>(m_socket->bytesAvailable(), limit);
    return m_socket->read(length);
}

int Socket::replyCodeOf(const QByteArray &line)
{
    qint64 code = 0;
    int digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9') {
        code = code * 10 + (line[digits] - '0');
        ++digits;
    }
    return int(std::min<qint64>(code, std::numeric_limits<int>::max()));
}

QByteArray Socket::transaction(const QByteArray &command)
{
    m_replyCode = 0;
    writeLine(command);
    m_transactionReply = readLine();
    if (!m_transactionReply.isEmpty()) {
        reportStatus(1, QString::fromUtf8(m_transactionReply));
        m_replyCode = replyCodeOf(m_transactionReply);
    }
    return m_transactionReply;
}

} // namespace mail
