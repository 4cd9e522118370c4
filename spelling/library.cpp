#include "spelling/library.h"

#include <QLocale>

#include <enchant.h>

#include <map>

namespace spelling {

namespace {

// A text that repeats few words stays far below this; one of unique words
// (a list, a table of codes) starts afresh rather than growing without end.
constexpr qsizetype kKnownLimit = 200'000;

Library *g_installed = nullptr;

} // namespace

// --- Checker ---------------------------------------------------------------------

Checker::Checker(str_enchant_dict *dict, const QString &language)
    : m_dict(dict)
    , m_language(language)
{
}

Checker::~Checker() = default;

bool Checker::isCorrect(QStringView word)
{
    if (word.isEmpty())
        return true;
    const QString key = word.toString();
    const auto known = m_known.constFind(key);
    if (known != m_known.cend())
        return *known;
    const QByteArray utf8 = key.toUtf8();
    // Below zero is the engine's error: such a word is not held against the user.
    const bool correct = enchant_dict_check(m_dict, utf8.constData(), utf8.size()) <= 0;
    if (m_known.size() >= kKnownLimit)
        m_known.clear();
    m_known.insert(key, correct);
    return correct;
}

QStringList Checker::suggestions(QStringView word)
{
    QStringList out;
    if (word.isEmpty())
        return out;
    const QByteArray utf8 = word.toUtf8();
    size_t count = 0;
    char **list = enchant_dict_suggest(m_dict, utf8.constData(), utf8.size(), &count);
    for (size_t i = 0; i < count; ++i) {
        const QString s = QString::fromUtf8(list[i]);
        if (!out.contains(s))
            out << s;
    }
    if (list)
        enchant_dict_free_string_list(m_dict, list);
    return out;
}

void Checker::add(const QString &word)
{
    if (word.isEmpty())
        return;
    const QByteArray utf8 = word.toUtf8();
    enchant_dict_add(m_dict, utf8.constData(), utf8.size());
    forget();
}

void Checker::ignore(const QString &word)
{
    if (word.isEmpty())
        return;
    const QByteArray utf8 = word.toUtf8();
    enchant_dict_add_to_session(m_dict, utf8.constData(), utf8.size());
    forget();
}

void Checker::forget()
{
    // The engine also takes other cases of the word ("Qumo", "QUMO"): all
    // answers are asked again.
    m_known.clear();
    emit wordsChanged();
}

// --- Library ---------------------------------------------------------------------

struct Library::Private
{
    EnchantBroker *broker = nullptr;
    QStringList providers;
    QStringList languages;
    std::map<QString, std::unique_ptr<Checker>> checkers;
    std::map<QString, EnchantDict *> dicts;

    ~Private()
    {
        checkers.clear();
        for (auto &[tag, dict] : dicts)
            enchant_broker_free_dict(broker, dict);
        if (broker)
            enchant_broker_free(broker);
    }
};

namespace {

struct Listing
{
    QStringList tags;
    QStringList providers; // empty: any
};

void listOne(const char *const tag, const char *const provider, const char *const, const char *const,
    void *data)
{
    auto *listing = static_cast<Listing *>(data);
    if (!listing->providers.isEmpty()
        && !listing->providers.contains(QString::fromUtf8(provider), Qt::CaseInsensitive))
        return;
    const QString t = QString::fromUtf8(tag);
    if (!listing->tags.contains(t))
        listing->tags << t;
}

} // namespace

void Library::forgetWords()
{
    for (auto &[language, checker] : d->checkers)
        checker->forget();
}

Library::Library(const QStringList &providers)
    : d(std::make_unique<Private>())
{
    d->providers = providers;
    d->broker = enchant_broker_init();
    if (!d->broker)
        return;
    Listing listing;
    enchant_broker_list_dicts(d->broker, listOne, &listing);
    if (!providers.isEmpty()) {
        // The listing names each language once, with the engine the
        // ordering prefers; with ours in force for every language, a
        // language of the engines asked for comes with one of them.
        const QByteArray order = providers.join(QLatin1Char(',')).toUtf8();
        enchant_broker_set_ordering(d->broker, "*", order.constData());
        for (const QString &tag : std::as_const(listing.tags))
            enchant_broker_set_ordering(d->broker, tag.toUtf8().constData(), order.constData());
        listing = {{}, providers};
        enchant_broker_list_dicts(d->broker, listOne, &listing);
    }
    listing.tags.sort();
    d->languages = listing.tags;
}

Library::~Library() = default;

QStringList Library::languages() const
{
    return d->languages;
}

QString Library::languageFor(const QLocale &locale) const
{
    const QStringList &all = d->languages;
    if (all.isEmpty())
        return {};
    const QString own = locale.name(); // "de_AT"
    if (all.contains(own))
        return own;
    const QString language = own.section(QLatin1Char('_'), 0, 0);
    if (!language.isEmpty() && language != QLatin1String("C")) {
        if (all.contains(language))
            return language;
        for (const QString &tag : all) {
            if (tag.section(QLatin1Char('_'), 0, 0) == language)
                return tag;
        }
    }
    if (all.contains(QLatin1String("en_US")))
        return QStringLiteral("en_US");
    return all.constFirst();
}

Checker *Library::checker(const QString &language)
{
    if (!d->languages.contains(language))
        return nullptr;
    auto found = d->checkers.find(language);
    if (found != d->checkers.end())
        return found->second.get();
    EnchantDict *dict = enchant_broker_request_dict(d->broker, language.toUtf8().constData());
    if (!dict)
        return nullptr;
    d->dicts[language] = dict;
    auto made = std::unique_ptr<Checker>(new Checker(dict, language));
    Checker *raw = made.get();
    d->checkers[language] = std::move(made);
    return raw;
}

QString Library::displayName(const QString &language)
{
    const QLocale locale(language);
    if (locale.language() == QLocale::C)
        return language;
    QString name = QLocale::languageToString(locale.language());
    if (language.contains(QLatin1Char('_')))
        name += QStringLiteral(" (%1)").arg(QLocale::territoryToString(locale.territory()));
    // A variant the locale does not name ("de_DE_frami") keeps its tag.
    if (locale.name() != language && locale.name().section(QLatin1Char('_'), 0, 0) != language)
        name += QStringLiteral(" [%1]").arg(language);
    return name;
}

Library &library()
{
    if (g_installed)
        return *g_installed;
    static Library program;
    return program;
}

void installLibrary(Library *library)
{
    g_installed = library;
}

} // namespace spelling
