#include "settings/values.h"

#include "settings/store.h"

namespace settings {

namespace {

// One value, with its key opened for that one use (made when missing unless
// told not to) and closed again.
QString readValue(const QString &key, const QString &name, bool create = true)
{
    Store store;
    store.openKey(key, create);
    const QString value = store.readString(name);
    store.closeKey();
    return value;
}

// A key that cannot be opened shows as the write failing.
void writeValue(const QString &key, const QString &name, const QString &value)
{
    Store store;
    store.openKey(key, true);
    store.writeString(name, value);
    store.closeKey();
}

} // namespace

QString programKeyPath()
{
    return QStringLiteral("\\software\\Qumo\\Velmorandquist");
}

void ensureProgramKey()
{
    Store store;
    if (!store.keyExists(programKeyPath()))
        store.createKey(programKeyPath());
}

QString startKeyPath()
{
    return programKeyPath() + QStringLiteral("\\environment\\start_key");
}

QString startKeyName()
{
    return QStringLiteral("start_key");
}

QString readStartKey()
{
    return readValue(startKeyPath(), startKeyName());
}

void suppressStartupNotice()
{
    writeValue(startKeyPath(), startKeyName(), QStringLiteral("no"));
}

namespace {

QString environmentKeyPath()
{
    return programKeyPath() + QStringLiteral("\\environment");
}

// The stored names of the mail values, in the order they are read and written.
struct MailField
{
    const char *name;
    QString MailValues::*field;
};
const MailField kMailFields[] = {
    {"e_address", &MailValues::address},
    {"e_name", &MailValues::name},
    {"e_smtp", &MailValues::server},
    {"ExtrnMailAdd", &MailValues::program},
    {"e_mail", &MailValues::mode},
    {"e_user", &MailValues::user},
    {"e_security", &MailValues::security},
};

// One value per mail server, named by its "host:port".
QString certificatesKeyPath()
{
    return environmentKeyPath() + QStringLiteral("\\certificates");
}

} // namespace

MailValues readMailValues(QStringList *unreadable)
{
    Store store;
    store.openKey(environmentKeyPath(), true);
    MailValues values;
    QStringList failures;
    // One value of another type must not blank the others.
    for (const MailField &f : kMailFields) {
        try {
            values.*f.field = store.readString(QString::fromLatin1(f.name));
        } catch (const Error &e) {
            failures += QString::fromUtf8(e.what());
        }
    }
    store.closeKey();
    if (unreadable)
        *unreadable += failures;
    else if (!failures.isEmpty())
        throw Error(failures.first().toUtf8().toStdString());
    return values;
}

void writeMailValues(const MailValues &values)
{
    Store store;
    store.openKey(environmentKeyPath(), true);
    for (const MailField &f : kMailFields)
        store.writeString(QString::fromLatin1(f.name), values.*f.field);
    store.closeKey();
}

QString readTrustedCertificate(const QString &server)
{
    return readValue(certificatesKeyPath(), server, false);
}

void writeTrustedCertificate(const QString &server, const QString &fingerprint)
{
    writeValue(certificatesKeyPath(), server, fingerprint);
}

QString recentFilesKeyPath()
{
    return environmentKeyPath() + QStringLiteral("\\recent_files");
}

namespace {

QString recentFileName(int i)
{
    return QStringLiteral("file_%1").arg(i + 1);
}

} // namespace

QStringList readRecentFiles()
{
    Store store;
    store.openKey(recentFilesKeyPath(), true);
    QStringList files;
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString file = store.readString(recentFileName(i));
        if (file.isEmpty())
            break;
        files << file;
    }
    store.closeKey();
    return files;
}

void writeRecentFiles(const QStringList &files)
{
    Store store;
    store.openKey(recentFilesKeyPath(), true);
    for (int i = 0; i < kRecentFileCount; ++i)
        store.writeString(recentFileName(i), files.value(i));
    store.closeKey();
}

QString clipboardDelayName()
{
    return QStringLiteral("clip_clear");
}

int readClipboardDelay()
{
    const QString text = readValue(environmentKeyPath(), clipboardDelayName());
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    return ok && seconds >= 0 ? seconds : kDefaultClipboardDelay;
}

void writeClipboardDelay(int seconds)
{
    writeValue(environmentKeyPath(), clipboardDelayName(), QString::number(seconds));
}

QString spellingKeyPath()
{
    return environmentKeyPath() + QStringLiteral("\\spelling");
}

QString readSpellingLanguage()
{
    return readValue(spellingKeyPath(), QStringLiteral("spell_lang"));
}

void writeSpellingLanguage(const QString &language)
{
    writeValue(spellingKeyPath(), QStringLiteral("spell_lang"), language);
}

bool readCheckAsYouType()
{
    return readValue(spellingKeyPath(), QStringLiteral("spell_typing")) != QLatin1String("no");
}

void writeCheckAsYouType(bool on)
{
    writeValue(spellingKeyPath(), QStringLiteral("spell_typing"),
        on ? QStringLiteral("yes") : QStringLiteral("no"));
}

} // namespace settings
