#include "mail/mimetext.h"

#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUuid>

namespace mail {

namespace {

// The longest line servers must take, line end not counted.
constexpr qsizetype MaxLine = 998;

bool isPlain(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 32 && u < 127) || u == '\t';
}

// Appends one wire line: a leading "." doubled so that it never ends the data.
void appendLine(QByteArray &out, const char *text, qsizetype size)
{
    if (size > 0 && text[0] == '.')
        out += '.';
    out.append(text, size);
    out += "\r\n";
}

QStringList splitLines(const QStringList &lines)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList result;
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
            result += line.split(lineEnd);
        else
            result += line;
    }
    return result;
}

} // namespace

QByteArray quotedPrintable(const QByteArray &line)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(line.size() + line.size() / 16 + 8);
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto u = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        char token[3];
        int length = 1;
        // Blanks stay as they are except at the end, where mail programs
        // may drop them.
        if ((u >= 33 && u <= 126 && u != '=') || ((u == ' ' || u == '\t') && !last)) {
            token[0] = char(u);
        } else {
            token[0] = '=';
            token[1] = hex[u >> 4];
            token[2] = hex[u & 15];
            length = 3;
        }
        if (out.size() - pieceStart + length > 75) {
            out += "=\r\n";
            pieceStart = out.size();
        }
        out.append(token, length);
    }
    return out;
}

EncodedBody encodeBody(const QStringList &lines)
{
    QList<QByteArray> bytes;
    bool plain = true, ascii = true;
    for (const QString &line : splitLines(lines)) {
        bytes += line.toUtf8();
        const QByteArray &b = bytes.last();
        if (b.size() + (b.startsWith('.') ? 1 : 0) > MaxLine)
            plain = false;
        for (char c : b) {
            if (!isPlain(c)) {
                plain = false;
                if (static_cast<unsigned char>(c) >= 128)
                    ascii = false;
            }
        }
    }

    EncodedBody body;
    body.contentType = ascii ? "text/plain; charset=\"us-ascii\"" : "text/plain; charset=\"utf-8\"";
    if (plain) {
        for (const QByteArray &b : bytes)
            appendLine(body.data, b.constData(), b.size());
        return body;
    }
    body.transferEncoding = "quoted-printable";
    for (const QByteArray &b : bytes) {
        const QByteArray encoded = quotedPrintable(b);
        qsizetype start = 0;
        for (;;) {
            const qsizetype end = encoded.indexOf("\r\n", start);
            if (end < 0) {
                appendLine(body.data, encoded.constData() + start, encoded.size() - start);
                break;
            }
            appendLine(body.data, encoded.constData() + start, end - start);
            start = end + 2;
        }
    }
    return body;
}

namespace {

// A header parameter: quoted when it is plain ASCII, else in the UTF-8
// percent form mail programs read for file names.
QByteArray parameter(const QByteArray &name, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    bool plain = true;
    for (char c : utf8)
        plain = plain && isPlain(c) && c != '"' && c != '\\';
    if (plain)
        return name + "=\"" + utf8 + '"';
    return name + "*=UTF-8''" + utf8.toPercentEncoding();
}

} // namespace

QByteArray multipartBody(const EncodedBody &text, const QList<Attachment> &files,
    const QByteArray &boundary, QByteArray &contentType)
{
    contentType = "multipart/mixed; boundary=\"" + boundary + '"';
    QByteArray out = "This is a message in several parts.\r\n";
    out += "--" + boundary + "\r\nContent-Type: " + text.contentType + "\r\n";
    if (!text.transferEncoding.isEmpty())
        out += "Content-Transfer-Encoding: " + text.transferEncoding + "\r\n";
    out += "\r\n" + text.data;
    const QMimeDatabase types;
    for (const Attachment &file : files) {
        const QMimeType type = types.mimeTypeForFileNameAndData(file.fileName, file.bytes);
        out += "--" + boundary + "\r\nContent-Type: " + type.name().toLatin1() + "; "
            + parameter("name", file.fileName) + "\r\nContent-Transfer-Encoding: base64\r\n"
            + "Content-Disposition: attachment; " + parameter("filename", file.fileName)
            + "\r\n\r\n";
        const QByteArray base64 = file.bytes.toBase64();
        for (qsizetype i = 0; i < base64.size(); i += 76)
            out += base64.mid(i, 76) + "\r\n";
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

namespace {

// UTF-8 text as encoded words (base64) of at most 75 characters each, on
// folded lines: 45 bytes give 60 of base64.
QByteArray encodedWords(const QByteArray &utf8)
{
    QByteArray out;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + 45, utf8.size());
        // Never split a character: back off continuation bytes.
        while (end < utf8.size() && end > start + 1
            && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?utf-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
        start = end;
    }
    return out;
}

} // namespace

QByteArray encodeSubject(const QString &subject)
{
    const QByteArray utf8 = subject.toUtf8();
    bool plain = utf8.size() + 9 <= MaxLine; // "Subject: "
    for (char c : utf8)
        plain = plain && isPlain(c);
    return plain ? utf8 : encodedWords(utf8);
}

QByteArray mailbox(const QString &name, const QByteArray &address)
{
    const QByteArray utf8 = name.trimmed().toUtf8();
    if (utf8.isEmpty())
        return address;
    // Letters, digits and the other characters an atom may hold, and blanks
    // between the words.
    static const QByteArray atom = "!#$%&'*+-/=?^_`{|}~ ";
    bool printable = utf8.size() + address.size() + 9 <= MaxLine; // "From: ", " <>"
    bool words = true;
    for (char c : utf8) {
        printable = printable && isPlain(c) && c != '\t';
        words = words
            && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || atom.contains(c));
    }
    QByteArray phrase;
    if (!printable) {
        phrase = encodedWords(utf8);
    } else if (words) {
        phrase = utf8;
    } else {
        phrase = "\"";
        for (char c : utf8) {
            if (c == '"' || c == '\\')
                phrase += '\\';
            phrase += c;
        }
        phrase += '"';
    }
    return phrase + " <" + address + '>';
}

QByteArray addressHeader(const QByteArray &name, const QList<QByteArray> &addresses)
{
    QByteArray out = name;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QByteArray &address = addresses[i];
        if (i > 0) {
            out += ',';
            if (out.size() - lineStart + address.size() > MaxLine) {
                out += "\r\n ";
                lineStart = out.size() - 1;
            }
        }
        out += address;
    }
    return out;
}

QByteArray formatDate(const QDateTime &time)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = time.date();
    const QTime t = time.time();
    const int offset = time.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", days[d.dayOfWeek() - 1],
        d.day(), months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(),
        offset < 0 ? '-' : '+', a / 60, a % 60)
        .toLatin1();
}

QByteArray makeMessageId(const QString &fromAddress)
{
    static const QRegularExpression domainName(
        QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+$"));
    QString domain = fromAddress.mid(fromAddress.lastIndexOf(QLatin1Char('@')) + 1);
    if (!fromAddress.contains(QLatin1Char('@')) || !domainName.match(domain).hasMatch())
        domain = QStringLiteral("localhost");
    return '<' + QUuid::createUuid().toByteArray(QUuid::Id128) + '@' + domain.toLatin1() + '>';
}

} // namespace mail
