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

} // namespace settings
