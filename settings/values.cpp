#include "settings/values.h"

#include "settings/store.h"

namespace settings {

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
    Store store;
    store.openKey(startKeyPath(), true);
    const QString value = store.readString(startKeyName());
    store.closeKey();
    return value;
}

void suppressStartupNotice()
{
    Store store;
    // A key that cannot be opened shows as the write failing.
    store.openKey(startKeyPath(), true);
    store.writeString(startKeyName(), QStringLiteral("no"));
    store.closeKey();
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
};

} // namespace

MailValues readMailValues()
{
    Store store;
    store.openKey(environmentKeyPath(), true);
    MailValues values;
    for (const MailField &f : kMailFields)
        values.*f.field = store.readString(QString::fromLatin1(f.name));
    store.closeKey();
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
    Store store;
    store.openKey(environmentKeyPath(), true);
    const QString text = store.readString(clipboardDelayName());
    store.closeKey();
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    return ok && seconds >= 0 ? seconds : kDefaultClipboardDelay;
}

void writeClipboardDelay(int seconds)
{
    Store store;
    store.openKey(environmentKeyPath(), true);
    store.writeString(clipboardDelayName(), QString::number(seconds));
    store.closeKey();
}

} // namespace settings
