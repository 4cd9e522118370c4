#pragma once

// Every value the program keeps in its store, by name: the only place that
// knows their key paths and value names.

#include <QString>
#include <QStringList>

namespace settings {

// The program's own key, made at start-up when it is missing.
QString programKeyPath();
// Creates the program's key when it does not exist. Throws Error.
void ensureProgramKey();

// The key and value that hold the start-up notice's choice.
QString startKeyPath();
QString startKeyName();
// The value as stored; empty when absent or when the key cannot be opened.
// Throws Error for a value of another type.
QString readStartKey();
// Stores that the notice is not to come again. Throws Error.
void suppressStartupNotice();

// The mail preferences as stored, each the text it was written as.
struct MailValues
{
    QString address; // "e_address": the sender's address
    QString name; // "e_name": the user's name
    QString server; // "e_smtp": the mail server, host[:port]
    QString program; // "ExtrnMailAdd": the external mail program's command line
    QString mode; // "e_mail": "1" Quick Mail, "2" external program, "3" system mail
    QString user; // "e_user": the name to log on to the mail server with
    // "e_security": "Automatic", "STARTTLS", "TLS" or "None"; empty (missing)
    // means Automatic.
    QString security;
};
// Reads them in the order above, each on its own: absent values and a key
// that cannot be opened read as empty, and so does a value of another type,
// whose error text is added to unreadable. Without that list, the first such
// error is thrown (Error) once every value has been read.
MailValues readMailValues(QStringList *unreadable = nullptr);
// Writes them in the order above; throws Error at the first that cannot be
// written (the ones before it stay written).
void writeMailValues(const MailValues &values);

// The SHA-256 fingerprint of the certificate the user trusts for a mail
// server ("host:port") although the system does not; empty when none.
// Throws Error for a value of another type.
QString readTrustedCertificate(const QString &server);
// Throws Error when it cannot be written.
void writeTrustedCertificate(const QString &server, const QString &fingerprint);

// The files last opened or saved, newest first, at most kRecentFileCount:
// "file_1" to "file_8" under "\environment\recent_files", one full path
// each; an empty value ends the list.
constexpr int kRecentFileCount = 8;
QString recentFilesKeyPath();
// Reads as empty when the key cannot be opened. Throws Error for a value of
// another type.
QStringList readRecentFiles();
// Writes the list (cut to kRecentFileCount), emptying the values after it.
// Throws Error.
void writeRecentFiles(const QStringList &files);

// How many seconds after a copy of decrypted text the clipboard is cleared
// ("clip_clear" under "\environment", decimal; 0 never). Absent or not a
// number reads as kDefaultClipboardDelay.
constexpr int kDefaultClipboardDelay = 30;
QString clipboardDelayName();
int readClipboardDelay();
// Throws Error.
void writeClipboardDelay(int seconds);

// The spell checker's choices, under "\environment\spelling": the
// dictionary last chosen ("spell_lang", a tag such as "en_US"; empty when
// none was) and whether words are checked as they are typed
// ("spell_typing": "no" is off, anything else or nothing is on). Reads
// throw Error for a value of another type, writes when it cannot be written.
QString spellingKeyPath();
QString readSpellingLanguage();
void writeSpellingLanguage(const QString &language);
bool readCheckAsYouType();
void writeCheckAsYouType(bool on);

} // namespace settings
