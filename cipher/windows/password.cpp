#include "cipher/windows/password.h"

#include "cipher/windows/encryptable.h"
#include "document/cp1252.h"
#include "gui/modal.h"

namespace cipher::windows {

void wipe(QString &s)
{
    if (s.isDetached())
        cipher::wipe(s.data(), std::size_t(s.size()) * sizeof(QChar));
    s.clear();
}

void wipe(QByteArray &b)
{
    if (b.isDetached())
        cipher::wipe(b.data(), std::size_t(b.size()));
    b.clear();
}

QByteArray passwordBytes(const QString &password)
{
    return document::cp1252::encode(password);
}

namespace {

QString quoted(QStringView character)
{
    return QStringLiteral("\u201C%1\u201D").arg(character);
}

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

std::optional<QString> textProblem(const QString &characters)
{
    // Characters beyond ASCII are looked at as the document holds them, so
    // one the 8-bit code page cannot hold is named, not turned into '?'.
    QByteArray bytes;
    bytes.reserve(characters.size());
    qsizetype firstWide = -1; // byte offset
    qsizetype wideAt = -1; // index into characters
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const QChar c = characters[i];
        if (c.unicode() < 0x80) {
            bytes.append(char(c.unicode()));
            continue;
        }
        if (firstWide < 0) {
            firstWide = bytes.size();
            wideAt = i;
        }
        bytes.append('?');
        if (c.isHighSurrogate() && i + 1 < characters.size() && characters[i + 1].isLowSurrogate())
            ++i;
    }
    const std::optional<cipher::DomainIssue> issue =
        cipher::checkPlainText({bytes.constData(), std::size_t(bytes.size())});
    const auto where = [&](std::size_t offset) {
        std::size_t line = 1, column = 1;
        for (std::size_t k = 0; k < offset; ++k) {
            if (bytes[qsizetype(k)] == '\r' && k + 1 < std::size_t(bytes.size())
                && bytes[qsizetype(k) + 1] == '\n') {
                ++line;
                column = 1;
                ++k;
            } else {
                ++column;
            }
        }
        return QStringLiteral("line %1, column %2").arg(line).arg(column);
    };
    QString what;
    if (firstWide >= 0
        && (!issue || issue->kind == cipher::DomainIssue::Kind::ChecksumTooLarge
            || std::size_t(firstWide) <= issue->offset)) {
        const qsizetype n = characters[wideAt].isHighSurrogate() ? 2 : 1;
        what =
            QStringLiteral("the character %1 at %2")
                .arg(quoted(QStringView(characters).mid(wideAt, n)), where(std::size_t(firstWide)));
    } else if (issue) {
        what = fromStd(issue->describe());
    } else {
        return std::nullopt;
    }
    return what;
}

std::optional<QString> passwordProblem(const QString &password)
{
    for (qsizetype i = 0; i < password.size(); ++i) {
        const char16_t c = password[i].unicode();
        if (c >= 32 && c <= 126)
            continue;
        const qsizetype n = password[i].isHighSurrogate() ? 2 : 1;
        const QString shown = (c < 32 || c == 127) ? QStringLiteral("code %1").arg(int(c))
                                                   : quoted(QStringView(password).mid(i, n));
        return QStringLiteral("the character %1 (position %2)").arg(shown).arg(i + 1);
    }
    return std::nullopt;
}

void tell(const service::Result &result)
{
    for (const service::Fact &fact : result.told) {
        const service::Message m = service::message(fact);
        gui::messageBox(QString::fromStdString(m.text), QString::fromStdString(m.title),
            m.icon == service::Icon::Warning ? gui::Icon::Warning : gui::Icon::None);
    }
}

} // namespace cipher::windows
