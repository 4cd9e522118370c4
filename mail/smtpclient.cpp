#include "mail/smtpclient.h"

#include "mail/mimetext.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>

#include <climits>
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

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 128)
            return false;
    }
    return true;
}

// The address as it goes on the wire: its domain in the ASCII form (IDNA),
// its local part as typed. Sets needsUtf8 when the local part is not ASCII.
QByteArray wireAddress(const QString &address, bool &needsUtf8)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    const QString local = at < 0 ? address : address.left(at);
    if (!isAscii(local))
        needsUtf8 = true;
    if (at < 0)
        return local.toUtf8();
    const QString domain = address.mid(at + 1);
    QByteArray ascii = domain.toUtf8();
    if (!isAscii(domain)) {
        ascii = QUrl::toAce(domain);
        if (ascii.isEmpty())
            refuse(QStringLiteral("Invalid address \"%1\"").arg(address));
    }
    return local.toUtf8() + '@' + ascii;
}

} // namespace

QString RefusedRecipient::describe() const
{
    // Reply lines can be long; the start says what happened.
    constexpr qsizetype Shown = 200;
    QString text = QString::fromUtf8(reply).trimmed();
    if (text.size() > Shown)
        text = text.left(Shown) + QStringLiteral("...");
    if (text.isEmpty())
        text = QStringLiteral("no reply");
    return address + QStringLiteral(": ") + text
        + (temporary() ? QStringLiteral(" (temporary: try again later)") : QString());
}

// The addresses in their wire form, and whether they need SMTPUTF8.
struct SmtpClient::Envelope
{
    QByteArray from;
    QList<QByteArray> to, cc, bcc;
    bool utf8 = false;
};

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

void SmtpClient::waitAtMost(std::chrono::milliseconds limit)
{
    setTimeOut(int(std::min<std::chrono::milliseconds::rep>(limit.count(), INT_MAX)));
}

void SmtpClient::setServer(const QString &server)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\[[^\\]\\s]+\\]|[^:\\s\\[\\]]+)(?::(\\d{1,5}))?\\s*$"));
    const QString text = server.trimmed();
    QString host = text;
    int port = m_security == Security::Tls ? ImplicitTlsPort : DefaultPort;
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
}

bool SmtpClient::implicitTls() const
{
    return m_security == Security::Tls
        || (m_security == Security::Automatic && port() == ImplicitTlsPort);
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

void SmtpClient::brokenExchange(const QByteArray &text)
{
    m_broken = true;
    refuse(text);
}

QByteArray SmtpClient::readReplyLine()
{
    const QByteArray line = readWholeLine(MaxReplyLine);
    if (line.size() >= MaxReplyLine && !line.endsWith("\r\n"))
        brokenExchange("The mail server's reply is too long");
    return line;
}

QList<QByteArray> SmtpClient::readReply()
{
    QByteArray line = readReplyLine();
    if (line.isEmpty())
        brokenExchange("The mail server closed the connection");
    reportStatus(1, QString::fromUtf8(line));
    setReplyCode(replyCodeOf(line));
    QList<QByteArray> lines {line};
    while (isContinuation(line)) {
        line = readReplyLine();
        if (line.isEmpty())
            brokenExchange("The mail server closed the connection");
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
    waitAtMost(m_timeOuts.otherCommand);
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
    waitAtMost(m_timeOuts.otherCommand);
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
    m_broken = false;
    waitAtMost(m_timeOuts.greeting);
    Socket::connectToHost();
    try {
        if (implicitTls())
            startEncryption(host());
        readReply();
        check();
        hello();
        if (!isEncrypted() && m_security != Security::None) {
            if (m_extensions.contains(QLatin1String("STARTTLS"))) {
                waitAtMost(m_timeOuts.otherCommand);
                command("STARTTLS");
                if (replyCode() != 220)
                    refuse(m_lastLine);
                startEncryption(host());
                hello();
            } else if (m_security == Security::StartTls) {
                // Asked for, so never a fall-back to plain text.
                refuse(QByteArray("The mail server does not offer encryption (STARTTLS)"));
            }
        }
        // Never a password in the clear, and nothing unencrypted on the
        // submission port unless plain text was asked for.
        if (!isEncrypted() && !m_userName.isEmpty())
            refuse(m_security == Security::None
                    ? QByteArray("A password is never sent without encryption")
                    : QByteArray("The mail server offers no encryption (STARTTLS)"));
        if (!isEncrypted() && m_security == Security::Automatic && port() == SubmissionPort)
            refuse(QByteArray("The mail server offers no encryption (STARTTLS)"));
        if (!m_userName.isEmpty())
            authenticate();
    } catch (const SocketError &) {
        // A cancel cancels the QUIT too (it fails at once, and its failure is
        // the one that leaves); after a time-out or a broken line nothing
        // more goes over it.
        if (beenCanceled())
            quit();
        else
            releaseSocket();
        throw;
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        if (m_broken)
            releaseSocket();
        else
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
            // Whatever is still unread answered an earlier command; the QUIT
            // goes out whole before its reply is read and the line closed.
            discardReceived();
            waitAtMost(m_timeOuts.otherCommand);
            setReplyCode(0);
            writeLine("QUIT");
            waitUntilWritten();
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

void SmtpClient::closeAfterFailure()
{
    if (m_broken || !isOpen()) {
        releaseSocket();
        return;
    }
    try {
        quit();
    } catch (...) {
        // Closed all the same; the failure that came first is the one to tell.
    }
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
    checkText(m_fromName);
    checkText(m_localProgram);
    for (const QStringList *list : {&m_to, &m_cc, &m_bcc}) {
        for (const QString &address : *list)
            checkText(address);
    }
}

SmtpClient::Envelope SmtpClient::envelope() const
{
    Envelope e;
    const bool offered = m_extensions.contains(QLatin1String("SMTPUTF8"));
    const auto wire = [&](const QString &address) {
        bool utf8 = false;
        const QByteArray bytes = wireAddress(address, utf8);
        if (utf8 && !offered)
            refuse(QStringLiteral("The mail server takes no address that is not plain ASCII "
                                  "(it does not offer SMTPUTF8): \"%1\"")
                       .arg(address));
        e.utf8 = e.utf8 || utf8;
        return bytes;
    };
    e.from = wire(m_from);
    for (const auto &[list, out] : {std::pair {&m_to, &e.to}, {&m_cc, &e.cc}, {&m_bcc, &e.bcc}}) {
        for (const QString &address : *list)
            *out += wire(address);
    }
    return e;
}

QByteArray SmtpClient::messageText(const Envelope &envelope, const QList<Attachment> &files) const
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
    text += "From: " + mailbox(m_fromName, envelope.from) + "\r\n";
    if (!envelope.to.isEmpty())
        text += addressHeader("To: ", envelope.to) + "\r\n";
    if (!envelope.cc.isEmpty())
        text += addressHeader("CC: ", envelope.cc) + "\r\n";
    text += "Date: " + formatDate(QDateTime::currentDateTime()) + "\r\n";
    text += "Message-ID: " + makeMessageId(QString::fromUtf8(envelope.from)) + "\r\n";
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
        // "MAIL FROM:<>" is the address of bounces, which servers reject
        // from anyone else.
        if (m_from.isEmpty())
            refuse(QByteArray("There is no sender address"));
        const Envelope wire = envelope();
        // Read before the transaction starts, so a file that cannot be read
        // sends nothing.
        const QList<Attachment> files = readAttachments();
        waitAtMost(m_timeOuts.otherCommand);
        command("RSET");
        check();
        QByteArray mailFrom = "MAIL FROM:<" + wire.from + '>';
        if (wire.utf8) {
            mailFrom += " SMTPUTF8";
            if (m_extensions.contains(QLatin1String("8BITMIME")))
                mailFrom += " BODY=8BITMIME";
        }
        waitAtMost(m_timeOuts.mailFrom);
        command(mailFrom);
        check();
        int accepted = 0;
        waitAtMost(m_timeOuts.recipient);
        const QStringList *typed[] = {&m_to, &m_cc, &m_bcc};
        const QList<QByteArray> *sent[] = {&wire.to, &wire.cc, &wire.bcc};
        for (int list = 0; list < 3; ++list) {
            for (qsizetype i = 0; i < typed[list]->size(); ++i) {
                command("RCPT TO:<" + sent[list]->at(i) + '>');
                if (replyCode() >= 200 && replyCode() < 400) {
                    ++accepted;
                } else {
                    const QString &address = typed[list]->at(i);
                    m_refused += RefusedRecipient {address, m_lastLine};
                    emit recipientRefused(address, m_lastLine);
                }
            }
        }
        if (accepted == 0) {
            if (m_refused.isEmpty())
                refuse(QByteArray("There is no recipient"));
            QStringList lines;
            for (const RefusedRecipient &r : std::as_const(m_refused))
                lines += r.describe();
            refuse(QStringLiteral("Every recipient was refused:\n") + lines.join(u'\n'));
        }
        waitAtMost(m_timeOuts.dataStart);
        command("DATA");
        check();
        waitAtMost(m_timeOuts.dataBlock);
        write(messageText(wire, files));
        waitAtMost(m_timeOuts.dataEnd);
        command(".");
        check();
    } catch (const SocketError &) {
        // A cancel, a time-out or a broken line: nothing more goes over it.
        releaseSocket();
        throw;
    } catch (...) {
        // The next send starts with a fresh connection.
        closeAfterFailure();
        throw;
    }
}

} // namespace mail
