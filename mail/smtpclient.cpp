#include "mail/smtpclient.h"

#include "mail/mimetext.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QRegularExpression>
#include <QUuid>

#include <exception>

namespace mail {

namespace {

// A reply line may come in socket pieces; more than this without a line end
// is not a reply.
constexpr qsizetype MaxReplyLine = 64 * 1024;

[[noreturn]] void refuse(const QByteArray &text)
{
    throw SmtpError(text.toStdString());
}

[[noreturn]] void refuse(const QString &text)
{
    refuse(text.toUtf8());
}

// A line of a multi-line reply: a blank first, or a hyphen after the code.
bool isContinuation(const QByteArray &line)
{
    return line.startsWith(' ') || (line.size() >= 4 && line[3] == '-');
}

bool hasControlCharacter(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return true;
    }
    return false;
}

// A line break in an address or name would end the command or header it
// goes into and start another one.
void checkText(const QString &text)
{
    if (!hasControlCharacter(text))
        return;
    QString shown = text;
    for (QChar &c : shown) {
        if (c.unicode() < 32 || c.unicode() == 127)
            c = QLatin1Char(' ');
    }
    refuse(QStringLiteral("Invalid character in \"%1\"").arg(shown));
}

} // namespace

// Refuses a second command while one is running (a Send pressed again during
// a send, say): the two dialogues would mix on the one connection.
class SmtpClient::Busy
{
public:
    explicit Busy(SmtpClient &client)
        : m_client(client)
    {
        if (client.m_busy)
            refuse(QByteArray("The mail client is busy"));
        client.m_busy = true;
    }
    ~Busy() { m_client.m_busy = false; }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;

private:
    SmtpClient &m_client;
};

SmtpClient::SmtpClient(QObject *parent)
    : Socket(parent)
{
    setPort(DefaultPort);
}

void SmtpClient::setServer(const QString &server)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\[[^\\]\\s]+\\]|[^:\\s\\[\\]]+)(?::(\\d{1,5}))?\\s*$"));
    const QString text = server.trimmed();
    QString host = text;
    int port = DefaultPort;
    if (QHostAddress().setAddress(text)) {
        // A bare address, IPv6 included.
    } else if (const auto m = form.match(text); m.hasMatch()) {
        host = m.captured(1);
        if (host.startsWith(QLatin1Char('[')))
            host = host.mid(1, host.size() - 2);
        if (m.hasCaptured(2))
            port = m.captured(2).toInt();
    } else {
        port = 0;
    }
    if (port < 1 || port > 65535)
        refuse(QStringLiteral("Invalid mail server \"%1\"").arg(server));
    setHost(host);
    setPort(port);
    m_implicitTls = port == ImplicitTlsPort;
}

void SmtpClient::setCredentials(const QString &userName, const QString &password)
{
    m_userName = userName;
    m_password = password;
}

void SmtpClient::abort()
{
    cancel();
}

// --- replies

QByteArray SmtpClient::readReplyLine()
{
    const QByteArray line = readWholeLine(MaxReplyLine);
    if (line.size() >= MaxReplyLine && !line.endsWith("\r\n"))
        refuse(QByteArray("The mail server's reply is too long"));
    return line;
}

QList<QByteArray> SmtpClient::readReply()
{
    QByteArray line = readReplyLine();
    if (line.isEmpty())
        refuse(QByteArray("The mail server closed the connection"));
    reportStatus(1, QString::fromUtf8(line));
    setReplyCode(replyCodeOf(line));
    QList<QByteArray> lines {line};
    while (isContinuation(line)) {
        line = readReplyLine();
        if (line.isEmpty())
            refuse(QByteArray("The mail server closed the connection"));
        lines += line;
    }
    m_lastLine = line;
    return lines;
}

QList<QByteArray> SmtpClient::command(const QByteArray &line)
{
    setReplyCode(0);
    writeLine(line);
    return readReply();
}

void SmtpClient::check(int lowest)
{
    if (replyCode() >= 400 || replyCode() < lowest)
        refuse(m_lastLine);
}

// --- connecting

QByteArray SmtpClient::ehloName() const
{
    if (!m_userId.isEmpty())
        return m_userId.toUtf8();
    static const QRegularExpression domainName(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)+"
                       "[A-Za-z]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    const QString local = QHostInfo::localHostName();
    if (domainName.match(local).hasMatch())
        return local.toLatin1();
    const QHostAddress address = localAddress();
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return '[' + QHostAddress(v4).toString().toLatin1() + ']';
    return "[IPv6:" + address.toString().toLatin1() + ']';
}

void SmtpClient::hello()
{
    const QByteArray name = ehloName();
    const QList<QByteArray> lines = command("EHLO " + name);
    m_extensions.clear();
    if (replyCode() >= 400 || replyCode() < 200) {
        // An old server: the same name with HELO.
        command("HELO " + name);
        check();
        return;
    }
    for (qsizetype i = 1; i < lines.size(); ++i)
        m_extensions += QString::fromLatin1(lines[i].mid(4).trimmed()).toUpper();
}

void SmtpClient::authenticate()
{
    reportStatus(2, QStringLiteral("Authenticating"));
    QStringList mechanisms;
    for (const QString &e : std::as_const(m_extensions)) {
        if (e.startsWith(QLatin1String("AUTH ")) || e.startsWith(QLatin1String("AUTH=")))
            mechanisms += e.mid(5).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    const QByteArray user = m_userName.toUtf8();
    const QByteArray password = m_password.toUtf8();
    if (mechanisms.contains(QLatin1String("PLAIN"))) {
        QByteArray plain;
        plain.append('\0').append(user).append('\0').append(password);
        command("AUTH PLAIN " + plain.toBase64());
    } else if (mechanisms.contains(QLatin1String("LOGIN"))) {
        command("AUTH LOGIN");
        if (replyCode() == 334)
            command(user.toBase64());
        if (replyCode() == 334)
            command(password.toBase64());
    } else {
        refuse(QByteArray("The mail server offers no way to log in that this program knows "
                          "(AUTH PLAIN or LOGIN)"));
    }
    if (replyCode() != 235)
        refuse("Authentication failed: " + m_lastLine.trimmed());
}

void SmtpClient::connectToHost()
{
    Busy busy(*this);
    checkText(m_userId);
    checkText(m_userName);
    m_extensions.clear();
    Socket::connectToHost();
    try {
        if (m_implicitTls)
            startEncryption(host());
        readReply();
        check();
        hello();
        if (!isEncrypted() && m_extensions.contains(QLatin1String("STARTTLS"))) {
            command("STARTTLS");
            if (replyCode() != 220)
                refuse(m_lastLine);
            startEncryption(host());
            hello();
        }
        // Never a password in the clear, and nothing unencrypted on the
        // submission port.
        if (!isEncrypted() && (port() == SubmissionPort || !m_userName.isEmpty()))
            refuse(QByteArray("The mail server offers no encryption (STARTTLS)"));
        if (!m_userName.isEmpty())
            authenticate();
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        quit(); // when it fails, its failure is the one that leaves
        std::rethrow_exception(failure);
    }
}

// --- disconnecting

void SmtpClient::quit()
{
    try {
        // A server that has gone needs no QUIT.
        if (isOpen()) {
            setReplyCode(0);
            writeLine("QUIT");
            const QByteArray line = readReplyLine();
            m_lastLine = line;
            if (!line.isEmpty()) {
                reportStatus(1, QString::fromUtf8(line));
                setReplyCode(replyCodeOf(line));
            }
            if (replyCode() >= 340)
                refuse(line);
        }
    } catch (...) {
        Socket::disconnectFromHost();
        throw;
    }
    Socket::disconnectFromHost();
}

void SmtpClient::disconnectFromHost()
{
    Busy busy(*this);
    if (!isConnected())
        throw SocketError("Not connected");
    quit();
}

// --- sending

void SmtpClient::checkInput() const
{
    checkText(m_from);
    checkText(m_localProgram);
    for (const QStringList *list : {&m_to, &m_cc, &m_bcc}) {
        for (const QString &address : *list)
            checkText(address);
    }
}

QByteArray SmtpClient::messageText(const QList<Attachment> &files) const
{
    const EncodedBody body = encodeBody(m_body);
    QByteArray contentType = body.contentType;
    QByteArray transferEncoding = body.transferEncoding;
    QByteArray data = body.data;
    if (!files.isEmpty()) {
        const QByteArray boundary = "=_" + QUuid::createUuid().toByteArray(QUuid::Id128);
        data = multipartBody(body, files, boundary, contentType);
        transferEncoding.clear();
    }
    QByteArray text;
    text.reserve(data.size() + 1024);
    text += "X-Mailer: " + m_localProgram.toUtf8() + "\r\n";
    text += "Mime-Version: 1.0\r\n";
    text += "Content-Type: " + contentType + "\r\n";
    if (!transferEncoding.isEmpty())
        text += "Content-Transfer-Encoding: " + transferEncoding + "\r\n";
    text += "From: " + m_from.toUtf8() + "\r\n";
    if (!m_to.isEmpty())
        text += addressHeader("To: ", m_to) + "\r\n";
    if (!m_cc.isEmpty())
        text += addressHeader("CC: ", m_cc) + "\r\n";
    text += "Date: " + formatDate(QDateTime::currentDateTime()) + "\r\n";
    text += "Message-ID: " + makeMessageId(m_from) + "\r\n";
    text += "Subject: " + encodeSubject(m_subject) + "\r\n\r\n";
    text += data;
    return text;
}

QList<Attachment> SmtpClient::readAttachments() const
{
    QList<Attachment> files;
    for (const QString &name : m_attachments) {
        QFile file(name);
        if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly))
            throw SmtpError(
                QStringLiteral("Cannot read the attached file %1").arg(name).toStdString());
        files += Attachment {QFileInfo(name).fileName(), file.readAll()};
        if (file.error() != QFileDevice::NoError)
            throw SmtpError(
                QStringLiteral("Cannot read the attached file %1").arg(name).toStdString());
    }
    return files;
}

void SmtpClient::sendMail()
{
    Busy busy(*this);
    if (!isConnected())
        throw SocketError("Not connected");
    m_refused.clear();
    try {
        checkInput();
        // Read before the transaction starts, so a file that cannot be read
        // sends nothing.
        const QList<Attachment> files = readAttachments();
        command("RSET");
        check();
        command("MAIL FROM:<" + m_from.toUtf8() + '>');
        check();
        int accepted = 0;
        for (const QStringList *list : {&m_to, &m_cc, &m_bcc}) {
            for (const QString &address : *list) {
                command("RCPT TO:<" + address.toUtf8() + '>');
                if (replyCode() >= 200 && replyCode() < 400) {
                    ++accepted;
                } else {
                    m_refused += RefusedRecipient {address, m_lastLine};
                    emit recipientRefused(address, m_lastLine);
                }
            }
        }
        if (accepted == 0) {
            if (m_refused.isEmpty())
                refuse(QByteArray("There is no recipient"));
            QStringList names;
            for (const RefusedRecipient &r : std::as_const(m_refused))
                names += r.address;
            refuse(QStringLiteral("Every recipient was refused: %1")
                       .arg(names.join(QLatin1String(", "))));
        }
        command("DATA");
        check();
        write(messageText(files));
        command(".");
        check();
    } catch (...) {
        // Whatever went wrong, the next send starts with a fresh connection.
        releaseSocket();
        throw;
    }
}

} // namespace mail
