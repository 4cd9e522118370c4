// The settings file: UTF-8 text, read whole at every open and read, rewritten
// whole (under a lock, replaced atomically) at every write.
//
//     # Lines starting with '#' or ';' are comments.
//     [\software\Qumo\Velmorandquist]
//     [\software\Qumo\Velmorandquist\environment]
//     e_name = sz 5 Hello
//     e_note = sz 12 two\nlines\\ok
//     mailer = expand_sz 15 $HOME/bin/mail
//     count = dword 0x0000002a
//     blob = binary 3 00ff10
//
// - A key line "[path]" gives the key's full path with a leading backslash,
//   in the case it was created with. The lines below it, up to the next key
//   line, are its values. A key line also makes every key above it exist. The
//   path's names may not hold control characters, unpaired surrogates or
//   backslashes, nor be longer than 255 characters.
// - A value line: the name, " = ", the type and the data.
//   sz and expand_sz (text): the text's length in UTF-16 units, one blank, the
//   text. The length lets a reader notice a line that was cut or mangled.
//   dword: "0x" and up to 8 hex digits. binary: the byte count and the bytes
//   in hex. The program writes only sz; the other types come from users or
//   other tools, and reading one as text is an error.
// - Escapes, in text and names: \\ \n \r \t \0, and \uXXXX for any other
//   control character or unpaired surrogate. Names also escape '=' and a
//   leading '[', '#' or ';' and a leading or trailing blank, so a name is never
//   taken for a key line or a comment and keeps its blanks.
// - Key paths and value names compare without regard to case.
// - Lines that make no sense (a mangled value, a bad key line, stray text) are
//   ignored on reading and written back unchanged. A file that is not UTF-8,
//   holds a zero byte, is larger than 16 MiB, or has content but no key line at
//   all is not ours: it reads as empty and is never overwritten.

#include "settings/store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace settings {

namespace {

constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
constexpr qsizetype MaxKeyNameLength = 255; // the registry's limits
constexpr qsizetype MaxValueNameLength = 16383;
// A write holds the lock for milliseconds; a lock this old was left by a
// copy that crashed or hangs, and waiting longer than that breaks it.
constexpr int StaleLockMs = 5000;
constexpr int LockWaitMs = 8000;

const QString NewFileComment = QStringLiteral(
    "# Velmorandquist settings: a [key] line per key, then its values as name = type data.");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Not QString::trimmed(): that also drops Unicode blanks, which belong to a name.
QStringView stripBlanks(QStringView s)
{
    while (!s.isEmpty() && isBlank(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

bool isComment(QStringView stripped)
{
    return stripped.startsWith(u'#') || stripped.startsWith(u';');
}

// True at i when the character there is half of a surrogate pair.
bool inSurrogatePair(QStringView s, qsizetype i)
{
    const QChar c = s.at(i);
    if (c.isHighSurrogate())
        return i + 1 < s.size() && s.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i > 0 && s.at(i - 1).isHighSurrogate();
    return false;
}

// The names of a key path; nullopt for a path that names no key or holds a
// name no key may have. Missing, doubled and trailing backslashes are fine.
std::optional<QStringList> splitPath(const QString &path)
{
    const QStringList names = path.split(u'\\', Qt::SkipEmptyParts);
    if (names.isEmpty())
        return std::nullopt;
    for (const QString &name : names) {
        if (name.size() > MaxKeyNameLength)
            return std::nullopt;
        for (qsizetype i = 0; i < name.size(); ++i) {
            const char16_t c = name.at(i).unicode();
            if (c < 0x20 || c == 0x7f || (QChar::isSurrogate(c) && !inSurrogatePair(name, i)))
                return std::nullopt;
        }
    }
    return names;
}

QString joinPath(const QStringList &names)
{
    return u'\\' + names.join(u'\\');
}

enum class EscapeFor { Text, Name };

QString escape(QStringView s, EscapeFor what)
{
    QString out;
    out.reserve(s.size());
    const bool name = what == EscapeFor::Name;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        const bool edge = i == 0 || i == s.size() - 1;
        if (c == u'\\')
            out += u"\\\\";
        else if (c == u'\n')
            out += u"\\n";
        else if (c == u'\r')
            out += u"\\r";
        else if (c == u'\t')
            out += u"\\t";
        else if (c == 0)
            out += u"\\0";
        else if (c < 0x20 || c == 0x7f || (QChar::isSurrogate(c) && !inSurrogatePair(s, i))
            || (name && c == u'=') || (name && edge && c == u' ')
            || (name && i == 0 && (c == u'[' || c == u'#' || c == u';')))
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QChar(u'0'));
        else
            out += QChar(c);
    }
    return out;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool allHex(QStringView s)
{
    return std::all_of(s.begin(), s.end(), isHexDigit);
}

std::optional<QString> unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) != u'\\') {
            out += s.at(i);
            continue;
        }
        if (++i == s.size())
            return std::nullopt;
        switch (s.at(i).unicode()) {
        case u'\\':
            out += u'\\';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u'0':
            out += QChar(0);
            break;
        case u'u': {
            const QStringView hex = s.mid(i + 1, 4);
            if (hex.size() != 4 || !allHex(hex))
                return std::nullopt;
            out += QChar(char16_t(hex.toUInt(nullptr, 16)));
            i += 4;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// A decimal count of at most 9 digits at the start of s, and the rest.
std::optional<std::pair<qsizetype, QStringView>> leadingCount(QStringView s)
{
    qsizetype digits = 0;
    while (digits < s.size() && s.at(digits).isDigit() && s.at(digits).unicode() < 0x80)
        ++digits;
    if (digits == 0 || digits > 9)
        return std::nullopt;
    return std::pair {qsizetype(s.left(digits).toInt()), s.mid(digits)};
}

struct ValueLine
{
    enum Kind { Text, OtherType, Broken };
    QString name;
    Kind kind = Broken;
    QString text;
};

// nullopt for a line that is no value line at all (a comment, stray text).
// Trailing blanks of the line belong to a text value, so they stay.
std::optional<ValueLine> parseValueLine(QStringView line)
{
    const auto skipBlanks = [](QStringView s) {
        while (!s.isEmpty() && isBlank(s.front()))
            s = s.mid(1);
        return s;
    };
    line = skipBlanks(line);
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0 || isComment(line))
        return std::nullopt;
    const std::optional<QString> name = unescape(stripBlanks(line.left(eq)));
    if (!name)
        return std::nullopt;
    ValueLine value {*name, ValueLine::Broken, {}};

    const QStringView rest = skipBlanks(line.mid(eq + 1));
    qsizetype typeEnd = 0;
    while (typeEnd < rest.size() && !isBlank(rest.at(typeEnd)))
        ++typeEnd;
    const QStringView type = rest.left(typeEnd);
    const QStringView data = skipBlanks(rest.mid(typeEnd));

    if (type == u"sz" || type == u"expand_sz") {
        if (const auto count = leadingCount(data)) {
            const auto [length, after] = *count;
            std::optional<QString> text;
            if (length == 0 && stripBlanks(after).isEmpty())
                text = QString();
            else if (after.startsWith(u' '))
                text = unescape(after.mid(1));
            if (text && text->size() == length) {
                value.kind = ValueLine::Text;
                value.text = *text;
            }
        }
    } else if (type == u"dword") {
        const QStringView hex = stripBlanks(data);
        if (hex.startsWith(u"0x") && hex.size() > 2 && hex.size() <= 10 && allHex(hex.mid(2)))
            value.kind = ValueLine::OtherType;
    } else if (type == u"binary") {
        if (const auto count = leadingCount(data)) {
            const auto [length, after] = *count;
            const QStringView hex = stripBlanks(after);
            if (hex.size() == 2 * length && allHex(hex))
                value.kind = ValueLine::OtherType;
        }
    } else if (!type.isEmpty()) {
        // Another tool's type: not text, whatever its data.
        value.kind = ValueLine::OtherType;
    }
    return value;
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

struct Section
{
    QString path; // as first written; null for a key line that made no sense
    QString badKeyLine; // that key line, written back as it was
    QStringList lines; // values, comments and stray lines, in file order
};

struct Document
{
    enum State { Missing, Ok, Unreadable, NotOurs };
    State state = Missing;
    QStringList preamble; // lines before the first key line
    std::vector<Section> sections;
    QHash<QString, size_t> index; // case-folded path -> section

    Section *find(const QStringList &names)
    {
        const auto it = index.constFind(joinPath(names).toCaseFolded());
        return it == index.cend() ? nullptr : &sections[*it];
    }

    // Adds the key and the keys above it that are missing; true when any was.
    bool addKey(const QStringList &names)
    {
        bool added = false;
        for (qsizetype depth = 1; depth <= names.size(); ++depth) {
            const QString path = joinPath(names.first(depth));
            const QString folded = path.toCaseFolded();
            if (!index.contains(folded)) {
                index.insert(folded, sections.size());
                sections.push_back(Section {path, {}, {}});
                added = true;
            }
        }
        return added;
    }
};

Document load(const QString &filePath)
{
    Document doc;
    const QFileInfo info(filePath);
    if (!info.exists() && !info.isSymLink())
        return doc;
    doc.state = Document::Unreadable;
    QFile file(filePath);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return doc;
    // As much as the file holds (a byte more tells a larger one), not the
    // most it may hold: a buffer of 16 MiB at every read would cost more
    // than the read.
    const QByteArray bytes = file.read(qBound<qint64>(0, file.size(), MaxFileSize) + 1);
    if (file.error() != QFileDevice::NoError)
        return doc;
    doc.state = Document::NotOurs;
    if (bytes.size() > MaxFileSize || bytes.contains('\0'))
        return doc;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return doc;

    bool sawKeyLine = false;
    bool sawContent = false;
    std::optional<size_t> current;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView stripped = stripBlanks(line);
        if (stripped.isEmpty())
            continue;
        if (stripped.size() >= 2 && stripped.startsWith(u'[') && stripped.endsWith(u']')) {
            sawKeyLine = true;
            const auto names = splitPath(stripped.mid(1, stripped.size() - 2).toString());
            if (names) {
                doc.addKey(*names); // a repeated key line adds to the same key
                current = size_t(doc.find(*names) - doc.sections.data());
            } else {
                current = doc.sections.size();
                doc.sections.push_back(Section {QString(), line.toString(), {}});
            }
            continue;
        }
        sawContent = sawContent || !isComment(stripped);
        (current ? doc.sections[*current].lines : doc.preamble).append(line.toString());
    }
    doc.state = sawContent && !sawKeyLine ? Document::NotOurs : Document::Ok;
    return doc;
}

QByteArray serialise(const Document &doc)
{
    QString out;
    for (const QString &line : doc.preamble)
        out += line + u'\n';
    for (const Section &section : doc.sections) {
        if (!out.isEmpty())
            out += u'\n';
        out += (section.path.isNull() ? section.badKeyLine : u'[' + section.path + u']') + u'\n';
        for (const QString &line : section.lines)
            out += line + u'\n';
    }
    return out.toUtf8();
}

// Puts a text value into the section: over the first line of that name (keeping
// the name's case as it was created), dropping any later ones.
void setText(Section &section, const QString &name, const QString &text)
{
    QString storedName = name;
    qsizetype at = -1;
    for (qsizetype i = 0; i < section.lines.size(); ++i) {
        const auto value = parseValueLine(section.lines.at(i));
        if (!value || !sameName(value->name, name))
            continue;
        if (at < 0) {
            at = i;
            storedName = value->name;
        } else {
            section.lines.removeAt(i--);
        }
    }
    QString line = escape(storedName, EscapeFor::Name) + QStringLiteral(" = sz ")
        + QString::number(text.size());
    if (!text.isEmpty())
        line += u' ' + escape(text, EscapeFor::Text);
    if (at < 0)
        section.lines.append(line);
    else
        section.lines[at] = line;
}

// Why the file cannot be written; empty when it can. A file with no write
// bit for anyone was made read-only on purpose, and root is refused it too.
QString notWritable(const QString &filePath)
{
    const QFileInfo file(filePath);
    if (!QFileInfo(file.absolutePath()).isWritable())
        return QStringLiteral("its folder is read-only");
    // The mode's bits; WriteUser says what this user may do, which for root
    // is everything.
    constexpr auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (file.exists() && (!file.isWritable() || !(file.permissions() & writeBits)))
        return QStringLiteral("it is read-only");
    return {};
}

// Makes the folder and any missing above it readable by the user only, as
// the XDG rules ask of folders a program creates; existing ones stay as
// they are.
bool makePrivatePath(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean && !makePrivatePath(parent))
        return false;
    return ::mkdir(QFile::encodeName(clean).constData(), 0700) == 0 || errno == EEXIST;
}

} // namespace

struct Store::Private
{
    QString filePath;
    std::optional<QStringList> current;
    // Why the last change failed, for the second line of the error.
    mutable QString failure;

    // One change to the file as it is now: under the lock, read it fresh,
    // apply, replace it atomically. False when the store cannot be written
    // (failure says why); the file is then as it was.
    bool change(const std::function<bool(Document &)> &apply) const
    {
        failure = tryChange(apply);
        return failure.isEmpty();
    }

    QString tryChange(const std::function<bool(Document &)> &apply) const
    {
        const QFileInfo info(filePath);
        if (!makePrivatePath(info.absolutePath()))
            return QStringLiteral("its folder %1 cannot be made").arg(info.absolutePath());
        QLockFile lock(filePath + QStringLiteral(".lock"));
        lock.setStaleLockTime(StaleLockMs);
        if (!lock.tryLock(LockWaitMs))
            return QStringLiteral("it stayed locked by another copy of the program");
        Document doc = load(filePath);
        if (doc.state == Document::Unreadable)
            return QStringLiteral("it cannot be read");
        if (doc.state == Document::NotOurs)
            return QStringLiteral("it is not a settings file of this program");
        if (const QString why = notWritable(filePath); !why.isEmpty())
            return why;
        if (doc.state == Document::Missing)
            doc.preamble.append(NewFileComment);
        if (!apply(doc))
            return {};
        const QByteArray bytes = serialise(doc);
        if (bytes.size() > MaxFileSize)
            return QStringLiteral("it would grow too large"); // it could not be read back
        QSaveFile file(filePath);
        // The file names the user's recent files: for the user's eyes only.
        if (!file.open(QIODevice::WriteOnly)
            || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            || file.write(bytes) != bytes.size() || !file.commit())
            return file.errorString();
        return {};
    }

    // The error of a failed operation: its own text, then what went wrong
    // with the file.
    Error error(const QString &text) const
    {
        QString full = text;
        if (!failure.isEmpty())
            full += QStringLiteral(".\nThe settings file %1 cannot be written: %2")
                        .arg(QDir::toNativeSeparators(filePath), failure);
        return Error(full.toStdString());
    }
};

QString Store::defaultFilePath()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/velmorandquist/settings");
}

Store::Store(const QString &filePath)
    : d(new Private {filePath, std::nullopt, {}})
{ }

Store::~Store()
{
    delete d;
}

QString Store::filePath() const
{
    return d->filePath;
}

bool Store::keyExists(const QString &path)
{
    const auto names = splitPath(path);
    if (!names)
        return false;
    Document doc = load(d->filePath);
    return doc.state == Document::Ok && doc.find(*names) && notWritable(d->filePath).isEmpty();
}

void Store::createKey(const QString &path)
{
    const auto names = splitPath(path);
    d->failure.clear();
    if (!names || !d->change([&](Document &doc) { return doc.addKey(*names); }))
        throw d->error(QStringLiteral("Failed to create key %1").arg(path));
}

bool Store::openKey(const QString &path, bool canCreate)
{
    d->current.reset();
    d->failure.clear();
    const auto names = splitPath(path);
    if (!names)
        return false;
    const bool ok =
        canCreate ? d->change([&](Document &doc) { return doc.addKey(*names); }) : keyExists(path);
    if (ok)
        d->current = names;
    return ok;
}

QString Store::readString(const QString &name)
{
    if (!d->current)
        return {};
    Document doc = load(d->filePath);
    const Section *section = doc.state == Document::Ok ? doc.find(*d->current) : nullptr;
    if (!section)
        return {};
    // Mangled lines are skipped; of several lines with the name, the last counts.
    std::optional<ValueLine> found;
    for (const QString &line : section->lines) {
        auto value = parseValueLine(line);
        if (value && value->kind != ValueLine::Broken && sameName(value->name, name))
            found = std::move(value);
    }
    if (!found)
        return {};
    if (found->kind != ValueLine::Text)
        throw Error(QStringLiteral("Invalid data type for '%1'").arg(name).toStdString());
    const qsizetype zero = found->text.indexOf(QChar(0));
    return zero < 0 ? found->text : found->text.left(zero);
}

void Store::writeString(const QString &name, const QString &value)
{
    // A key removed by hand since it was opened is made again: the write the
    // user asked for is not lost.
    const auto write = [&](Document &doc) {
        doc.addKey(*d->current);
        setText(*doc.find(*d->current), name, value);
        return true;
    };
    if (!d->current || name.size() > MaxValueNameLength || !d->change(write))
        throw d->error(QStringLiteral("Failed to set data for '%1'").arg(name));
}

void Store::closeKey()
{
    d->current.reset();
}

} // namespace settings
