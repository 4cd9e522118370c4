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

QString spellingKeyPath()
{
    return environmentKeyPath() + QStringLiteral("\\spelling");
}

namespace {

QString readSpelling(const char *name)
{
    Store store;
    store.openKey(spellingKeyPath(), true);
    const QString value = store.readString(QString::fromLatin1(name));
    store.closeKey();
    return value;
}

void writeSpelling(const char *name, const QString &value)
{
    Store store;
    store.openKey(spellingKeyPath(), true);
    store.writeString(QString::fromLatin1(name), value);
    store.closeKey();
}

} // namespace

QString readSpellingLanguage()
{
    return readSpelling("spell_lang");
}

void writeSpellingLanguage(const QString &language)
{
    writeSpelling("spell_lang", language);
}

bool readCheckAsYouType()
{
    return readSpelling("spell_typing") != QLatin1String("no");
}

void writeCheckAsYouType(bool on)
{
    writeSpelling("spell_typing", on ? QStringLiteral("yes") : QStringLiteral("no"));
}

} // namespace settings
