#pragma once

// Program start: the splash, the wait, the application title, then every
// window the program will use, created once in a fixed order and kept until
// the end.

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace editor {

class MainWindow;

struct StartupOptions
{
    // How long the splash stays alone on the screen.
    int splashMs = 2300;
    bool showSplash = true;
    // When the main window's one-shot start-up notice check runs after its
    // creation; negative: never.
    int noticeDelayMs = 1000;

    // For tests and benchmarks: no splash, no wait, no notice.
    static StartupOptions quiet() { return {0, false, -1}; }
};

class Program
{
public:
    // file: the one named on the command line, empty for none. Nothing
    // modal runs while the windows are made; the first turn of the event
    // loop shows what was held back, then the main window starts up (the
    // file, then the notice's timer).
    explicit Program(const QString &file, const StartupOptions &options = {});
    ~Program();

    MainWindow &mainWindow() const;
    // Any window by its object name ("TForm4"), or nullptr.
    QWidget *window(const QString &objectName) const;

    // The object names of the windows in the order they were created, and
    // "-TForm5" where the splash was destroyed.
    QStringList creationLog;

private:
    struct Windows;
    std::unique_ptr<Windows> m_windows;
};

// The program entry: runs until the main window closes and returns 0.
int runProgram(int argc, char *argv[]);

} // namespace editor
