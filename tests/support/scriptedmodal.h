#pragma once

// The modal seam for tests and benchmarks: answers every modal request from a script
// and records what was asked, in order. Unscripted requests get the safe
// answer (Cancel or No where offered, else OK; dialogs cancelled), so nothing
// ever waits for a person.

#include "gui/modal.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace testsupport {

using gui::Answer;
using gui::Buttons;
using gui::FileAnswer;
using gui::FileRequest;
using gui::FontChoice;
using gui::Icon;
using gui::MessageRequest;

class ScriptedModal : public gui::Modal
{
public:
    // Installs itself for its lifetime.
    ScriptedModal();
    ~ScriptedModal() override;

    // --- What was asked, in order ---------------------------------------
    // One line per request: "message <caption> <icon> <buttons>: <text>",
    // "open <title>", "save <title>", "print", "font", "color",
    // "modal <objectName>", "end <objectName>", "start <program> <args>",
    // "open-url <url>", "busy", "idle".
    QStringList log;
    QList<MessageRequest> messages;
    QList<FileRequest> fileRequests;
    QList<FontChoice> fontRequests;
    QList<QColor> colorRequests;
    // The output file each print dialog found set up when it opened.
    QStringList printRequests;
    // Each program start: the program, then its arguments.
    QList<QStringList> startRequests;

    // --- Answers, taken from the front ----------------------------------
    QList<Answer> messageAnswers;
    QList<std::optional<QString>> fileAnswers; // a path, or nullopt to cancel
    QList<std::optional<QString>> printAnswers; // a PDF file to print to, or nullopt
    QList<std::optional<FontChoice>> fontAnswers;
    QList<std::optional<QColor>> colorAnswers;
    bool startSucceeds = true;
    bool openUrlSucceeds = true;
    // Scripts for our own modal windows, by objectName, taken from the front.
    // Each runs while the window is shown and active, as a user would act
    // in it; when it returns with the window still open, the window is
    // closed with its close box (rejected).
    QHash<QString, QList<std::function<void(QDialog &)>>> modalScripts;
    void onModal(const QString &objectName, std::function<void(QDialog &)> script);

    // How long each message box stays open before it is answered, running
    // its own event loop meanwhile as a real box does: timers and signals
    // fire under it.
    int messageOpenMs = 0;

    // Message texts only, in order.
    QStringList messageTexts() const;
    int busyDepth() const { return m_busy; }

    Answer message(const MessageRequest &request) override;
    std::optional<FileAnswer> fileDialog(const FileRequest &request) override;
    bool printDialog(QPrinter &printer, const QString &title) override;
    std::optional<FontChoice> fontDialog(const FontChoice &initial) override;
    std::optional<QColor> colorDialog(const QColor &initial) override;
    int execModal(QDialog &dialog) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
    bool openUrl(const QUrl &url) override;
    void setBusy(bool busy) override;

private:
    gui::Modal *m_previous;
    int m_busy = 0;
};

// The child of a window with the given object name (a designer name such as
// "Edit1"); the test stops when there is none.
template<typename T> T &child(const QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s in %s", T::staticMetaObject.className(), name,
            qPrintable(parent.objectName()));
    return *found;
}

// Activates a window the way the window system does when the user returns
// to it, so its activation handler runs.
void activateWindow(QWidget *window);

QString iconName(Icon icon);
QString buttonsName(Buttons buttons);

} // namespace testsupport
