#pragma once

// The mail preferences (TForm10): the user's name and address, the mail
// server and the name to log on to it with, the external mail program, and
// which way the Quick Mail buttons send. Its fields are the program's live
// mail settings: the composer and the dispatch read them whenever they need
// them; only OK stores them.

#include "gui/form.h"
#include "gui/standarddialogs.h"
#include "mail/smtpclient.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace mail::windows {

// The ways of sending, as stored.
enum class MailMode { QuickMail = 1, ExternalProgram = 2, SystemMail = 3 };

class PreferencesWindow : public gui::Form
{
    Q_OBJECT
public:
    // Loads the stored values; one of another type is reported and reads as
    // empty.
    explicit PreferencesWindow(QWidget *parent = nullptr);

    QString userName() const; // "Your Name:"
    QString address() const;
    QString server() const;
    QString logOnName() const; // "User name:" for the mail server
    Security security() const; // "Connection security:"
    QString programPath() const;
    MailMode mode() const;

    // Browse...: only with "Use External E-Mail Program" checked. A path
    // with blanks or quotes is put in quotes, so that it starts as chosen.
    void browse();
    // OK: stores every field, then closes.
    void ok();

private:
    void load();
    void setProgramEditable(bool editable);

    QLineEdit *m_name;
    QLineEdit *m_address;
    QLineEdit *m_server;
    QLineEdit *m_logOnName;
    QComboBox *m_security;
    QRadioButton *m_modes[3];
    QLineEdit *m_program;
    gui::FileDialog m_openDialog;
    QString m_loadedMode; // the stored mode text as loaded at start-up
};

} // namespace mail::windows
