#pragma once

// A Ui for tests and benchmarks: answers every modal request from a script
// and records what was asked, in order. Unscripted requests get the safe
// answer (Cancel or No where offered, else OK; dialogs cancelled), so nothing
// ever waits for a person.

#include "platform/ui.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <functional>
#include <optional>

namespace platform {

class ScriptedUi : public Ui
{
public:
    // Installs itself for its lifetime.
    ScriptedUi();
    ~ScriptedUi() override;

    // --- What was asked, in order ---------------------------------------
    // One line per request: "message <caption> <icon> <buttons>: <text>",
    // "open <title>", "save <title>", "print", "font", "color",
    // "modal <objectName>", "end <objectName>", "start <program> <args>",
    // "busy", "idle".
    QStringList log;
    QList<MessageRequest> messages;
    QList<FileRequest> fileRequests;
    QList<FontChoice> fontRequests;
    QList<QColor> colorRequests;

    // --- Answers, taken from the front ----------------------------------
    QList<Answer> messageAnswers;
    QList<std::optional<QString>> fileAnswers; // a path, or nullopt to cancel
    QList<std::optional<QString>> printAnswers; // a PDF file to print to, or nullopt
    QList<std::optional<FontChoice>> fontAnswers;
    QList<std::optional<QColor>> colorAnswers;
    bool startSucceeds = true;
    // Scripts for our own modal windows, by objectName, taken from the front.
    // Each runs while the window is shown and active, as a user would act
    // in it; when it returns with the window still open, the window is
    // closed with its close box (rejected).
    QHash<QString, QList<std::function<void(QDialog &)>>> modalScripts;
    void onModal(const QString &objectName, std::function<void(QDialog &)> script);

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
    void setBusy(bool busy) override;

private:
    Ui *m_previous;
    int m_busy = 0;
};

// Activates a window the way the window system does when the user returns
// to it, so its activation handler runs.
void activateWindow(QWidget *window);

QString iconName(Icon icon);
QString buttonsName(Buttons buttons);

} // namespace platform
