#pragma once

// The dictionaries installed on this machine, found and opened through
// Enchant, which takes them from Hunspell, Nuspell or Aspell as the system
// and the user order them, and keeps the user's personal word lists (in
// $ENCHANT_CONFIG_DIR, else $XDG_CONFIG_HOME/enchant). Nothing leaves the
// machine: every engine works on local files.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocale;
struct str_enchant_dict;

namespace spelling {

// One dictionary: checks words, suggests, and takes words into the personal
// list (for good) or the session (for this run). Words are checked as given;
// see words.h for which spans of a text are words.
class Checker : public QObject
{
    Q_OBJECT
public:
    ~Checker() override;

    // The language tag ("en_US").
    QString language() const { return m_language; }

    bool isCorrect(QStringView word);
    // Best first; empty when the dictionary has none.
    QStringList suggestions(QStringView word);
    // Into the user's personal list for this language: correct from now on,
    // in this run and the next ones.
    void add(const QString &word);
    // Correct until the program ends.
    void ignore(const QString &word);
    // Forgets the answers kept for the words asked about, which are words
    // of the user's text (and may be secret); they are asked again.
    void forget();

signals:
    // After add() or ignore(): words judged before may now be correct.
    void wordsChanged();

private:
    friend class Library;
    Checker(str_enchant_dict *dict, const QString &language);

    str_enchant_dict *m_dict;
    QString m_language;
    // Asking the engine costs microseconds a word; a text repeats its words.
    QHash<QString, bool> m_known;
};

class Library
{
public:
    // providers: the engines to take dictionaries from, the first preferred
    // ("hunspell", "nuspell", "aspell"); empty for every engine, in the order
    // the system and the user configured.
    explicit Library(const QStringList &providers = {});
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // The tags of the installed dictionaries, sorted, each once.
    QStringList languages() const;
    bool isEmpty() const { return languages().isEmpty(); }
    // The dictionary for a locale: its own ("de_AT"), else one of its
    // language ("de", "de_DE"), else American English, else the first one;
    // empty when none is installed.
    QString languageFor(const QLocale &locale) const;
    // The checker for an installed language, opened at first use and kept
    // for the library's lifetime; nullptr for a language not installed.
    Checker *checker(const QString &language);
    // Checker::forget() for every checker opened.
    void forgetWords();

    // A name for people: "English (United States)", or the tag itself for
    // one no locale knows.
    static QString displayName(const QString &language);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The library the program uses: one for the whole run, made at first use.
// A test installs its own (not owned); nullptr restores the program's.
Library &library();
void installLibrary(Library *library);

} // namespace spelling
