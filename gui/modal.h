#pragma once

// The seam between the program and everything modal: message boxes, the
// standard dialogs, our own modal windows, the busy cursor and process starts.
// The default shows the real Qt dialogs; a test installs a scripted one that
// answers from a script and records what was asked, so no test ever waits on
// a real modal dialog.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QPrinter;
class QUrl;

namespace gui {

enum class Icon { None, Warning, Error, Information, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageRequest
{
    QString text;
    QString caption;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    // The button Enter presses; unset, the box's usual one (OK or Yes).
    std::optional<Answer> defaultAnswer;
};

// What a file dialog is asked to show. The filter is in description|pattern
// pairs ("Text Files (*.txt)|*.txt|All Files (*.*)|*.*"); filterIndex counts
// from 1, as the pairs are numbered.
struct FileRequest
{
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    QString filter;
    QString defaultSuffix;
    QString initialDir;
    QString proposedName;
    int filterIndex = 1;
};

struct FileAnswer
{
    QString fileName; // full path
    int filterIndex = 1;
};

// A font with the effects a character format carries beyond QFont: its colour.
struct FontChoice
{
    QFont font;
    QColor color;
};

class Modal
{
public:
    virtual ~Modal();

    virtual Answer message(const MessageRequest &request) = 0;
    virtual std::optional<FileAnswer> fileDialog(const FileRequest &request) = 0;
    // Lets the user choose and set up the printer; false when cancelled.
    virtual bool printDialog(QPrinter &printer, const QString &title) = 0;
    virtual std::optional<FontChoice> fontDialog(const FontChoice &initial) = 0;
    virtual std::optional<QColor> colorDialog(const QColor &initial) = 0;
    // Shows one of our own windows modally and returns its result code.
    virtual int execModal(QDialog &dialog) = 0;
    // Starts a program and does not wait for it; false when it could not start.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
    // Hands a link to the desktop's program for it; false when none took it.
    virtual bool openUrl(const QUrl &url) = 0;
    virtual void setBusy(bool busy) = 0;
};

// The seam in use: the real one unless a test installed another.
Modal &modal();
// Installs a seam (not owned); nullptr restores the real one.
void installModal(Modal *ui);

// The real dialogs.
class QtModal : public Modal
{
public:
    Answer message(const MessageRequest &request) override;
    std::optional<FileAnswer> fileDialog(const FileRequest &request) override;
    bool printDialog(QPrinter &printer, const QString &title) override;
    std::optional<FontChoice> fontDialog(const FontChoice &initial) override;
    std::optional<QColor> colorDialog(const QColor &initial) override;
    int execModal(QDialog &dialog) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
    bool openUrl(const QUrl &url) override;
    void setBusy(bool busy) override;
};

// The application title: caption of the program's plain message boxes and of
// its error box.
QString applicationTitle();
void setApplicationTitle(const QString &title);

// While the program makes its windows nothing modal may run: a box's nested
// loop would run timers and signals of windows not made yet. For the
// lifetime of a scope, plain boxes (OK only) are held back, for the caller to
// show once every window exists; any other modal request, or
// an event loop run meanwhile, is a fault of the program: reported
// (qCritical), refused unseen, and a failed assertion in debug builds.
class CreationScope
{
public:
    CreationScope();
    ~CreationScope();
    CreationScope(const CreationScope &) = delete;
    CreationScope &operator=(const CreationScope &) = delete;

    // The boxes held back so far, in the order they came; taken, not copied.
    QList<MessageRequest> takeHeld();
    // The seam's side: a plain box asked for meanwhile.
    void hold(const MessageRequest &request) { m_held << request; }

private:
    QList<MessageRequest> m_held;
    CreationScope *m_outer;
};
bool creatingWindows();

// Shorthands for the two kinds of box every part of the program shows.
Answer messageBox(const QString &text, const QString &caption, Icon icon,
    Buttons buttons = Buttons::Ok, std::optional<Answer> defaultAnswer = std::nullopt);
// The application's error box: the text followed by ".", the application
// title as caption, the error icon and OK.
void showError(const QString &text);

// Runs a command; a failure it raises ends it there and is shown in the error
// box, after which the program goes on. Returns false when it failed.
template<typename F> bool guarded(F &&command);

// The hourglass for the lifetime of the object.
class BusyCursor
{
public:
    BusyCursor() { modal().setBusy(true); }
    ~BusyCursor() { modal().setBusy(false); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// The filter pairs as Qt name filters, with "*.*" meaning every file.
QStringList qtNameFilters(const QString &pairs);

} // namespace gui

#include <exception>

namespace gui {

template<typename F> bool guarded(F &&command)
{
    try {
        command();
        return true;
    } catch (const std::exception &e) {
        // Every failure the program raises carries the user's text in UTF-8.
        showError(QString::fromUtf8(e.what()));
    }
    return false;
}

} // namespace gui
