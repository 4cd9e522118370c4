#pragma once

// The text of a mail as it goes on the wire between DATA and the final ".":
// header values and body lines that every server takes and that arrive byte
// for byte. Pure functions, no network.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace mail {

struct EncodedBody
{
    // "text/plain; charset=..." with its quotes, and the transfer encoding
    // ("quoted-printable"), empty when the lines go as they stand.
    QByteArray contentType;
    QByteArray transferEncoding;
    // Every line ended by CR LF, a leading "." doubled.
    QByteArray data;
};

// The body lines as they stand (CR, LF and CR LF inside an entry also end a
// line) when they are plain printable ASCII and none is longer than a line may
// be; else quoted-printable of their UTF-8 bytes, so that nothing is cut or
// changed on the way.
EncodedBody encodeBody(const QStringList &lines);

// One quoted-printable line without its final line end: soft line breaks
// ("=" CR LF) keep every piece within 76 characters.
QByteArray quotedPrintable(const QByteArray &line);

// The value of a Subject header: as it stands when it is printable ASCII and
// fits on a line, else as encoded words (UTF-8, base64) on folded lines.
QByteArray encodeSubject(const QString &subject);

// The mailbox of a From header: the address alone when there is no name,
// else the name as it stands when it is plain words, quoted when it holds a
// character with a meaning in addresses, encoded words when it is not ASCII;
// then the address in angle brackets.
QByteArray mailbox(const QString &name, const QByteArray &address);

// An address list header ("To: a,b"), folded after a comma only where the
// line would grow too long for a server.
QByteArray addressHeader(const QByteArray &name, const QList<QByteArray> &addresses);

// "Tue, 08 Dec 2026 19:30:00 +0100", whatever the locale.
QByteArray formatDate(const QDateTime &time);

// A file sent with the mail: its name as the recipient sees it, its bytes.
struct Attachment
{
    QString fileName;
    QByteArray bytes;
};

// A body with attachments: the text part, then each file as a base64 part
// with its name and a content type found from the name and the bytes. The
// lines already end in CR LF; boundary separates the parts (it must not occur
// in them). Returns the Content-Type header value in contentType.
QByteArray multipartBody(const EncodedBody &text, const QList<Attachment> &files,
    const QByteArray &boundary, QByteArray &contentType);

// A message identifier unique to this mail, at the sender's domain when it
// has a usable one.
QByteArray makeMessageId(const QString &fromAddress);

} // namespace mail
