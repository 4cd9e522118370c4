#include "editor/program.h"

#include "assets/assets.h"
#include "cipher/windows/decryptdialog.h"
#include "cipher/windows/encryptdialog.h"
#include "editor/aboutwindow.h"
#include "editor/commandline.h"
#include "editor/document.h"
#include "editor/mainwindow.h"
#include "editor/noticewindow.h"
#include "editor/splashwindow.h"
#include "editor/wipewindow.h"
#include "gui/modal.h"
#include "mail/windows/composerwindow.h"
#include "mail/windows/preferenceswindow.h"
#include "mail/windows/progresswindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <vector>

namespace editor {

struct Program::Windows : PeerWindows, mail::windows::ComposerPeers
{
    // In creation order; destroyed in reverse, so no window outlives one
    // it refers to.
    std::vector<std::unique_ptr<QWidget>> all;
    MainWindow *main = nullptr;
    WipeWindow *wipe = nullptr;
    NoticeWindow *notice = nullptr;
    cipher::windows::EncryptDialog *encrypt = nullptr;
    cipher::windows::DecryptDialog *decrypt = nullptr;
    AboutWindow *about = nullptr;
    mail::windows::PreferencesWindow *preferences = nullptr;
    mail::windows::ComposerWindow *composerWindow = nullptr;
    mail::windows::ProgressWindow *progress = nullptr;

    ~Windows() override
    {
        while (!all.empty())
            all.pop_back();
    }

    template<typename T, typename... Args> T *create(QStringList &log, Args &&...args)
    {
        auto window = std::make_unique<T>(std::forward<Args>(args)...);
        T *raw = window.get();
        log << raw->objectName();
        all.push_back(std::move(window));
        return raw;
    }

    // The main window asks for these only from commands, which run once
    // the program has made every window.
    gui::Form &encryptDialog() override { return *encrypt; }
    gui::Form &decryptDialog() override { return *decrypt; }
    gui::Form &noticeWindow() override { return *notice; }
    gui::Form &wipeWindow() override { return *wipe; }
    mail::windows::PreferencesWindow &mailPreferences() override { return *preferences; }
    mail::windows::ComposerWindow &composer() override { return *composerWindow; }
    mail::windows::ProgressWindow &progressWindow() override { return *progress; }
    AboutWindow &aboutWindow() override { return *about; }
};

Program::Program(const QString &file, const StartupOptions &options)
    : m_windows(std::make_unique<Windows>())
{
    Windows &w = *m_windows;

    // The splash, painted before the wait; nothing else happens meanwhile.
    std::unique_ptr<SplashWindow> splash;
    if (options.showSplash) {
        splash = std::make_unique<SplashWindow>();
        creationLog << splash->objectName();
        splash->show();
        QElapsedTimer painted;
        painted.start();
        do {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        } while (splash->windowHandle() && !splash->windowHandle()->isExposed()
            && painted.elapsed() < 1000);
        QApplication::processEvents();
        if (options.splashMs > 0)
            QThread::msleep(ulong(options.splashMs));
    }

    gui::setApplicationTitle(QStringLiteral("Velmorandquist"));
    QApplication::setWindowIcon(assets::windowIcon());

    // Nothing modal runs until every window exists.
    auto creating = std::make_unique<gui::CreationScope>();
    w.main = w.create<MainWindow>(creationLog, file, w, options.noticeDelayMs);
    // The main window shows as soon as it is created, over the splash.
    w.main->show();
    w.wipe = w.create<WipeWindow>(creationLog);
    w.composerWindow = w.create<mail::windows::ComposerWindow>(creationLog, w.main->editor(), w);
    w.progress = w.create<mail::windows::ProgressWindow>(creationLog);
    w.preferences = w.create<mail::windows::PreferencesWindow>(creationLog);
    w.notice = w.create<NoticeWindow>(creationLog);

    if (splash) {
        splash->hide();
        splash.reset();
        creationLog << QStringLiteral("-TForm5");
    }

    w.encrypt = w.create<cipher::windows::EncryptDialog>(creationLog, w.main->document());
    w.decrypt = w.create<cipher::windows::DecryptDialog>(creationLog, w.main->document());
    w.about = w.create<AboutWindow>(creationLog);
    const QList<gui::MessageRequest> held = creating->takeHeld();
    creating.reset();

    // Dropped unshown if the program ends before its loop turns.
    QMetaObject::invokeMethod(
        w.main,
        [main = w.main, held] {
            for (const gui::MessageRequest &request : held)
                gui::modal().message(request);
            main->startUp();
        },
        Qt::QueuedConnection);
}

Program::~Program() = default;

MainWindow &Program::mainWindow() const
{
    return *m_windows->main;
}

QWidget *Program::window(const QString &objectName) const
{
    for (const auto &window : m_windows->all) {
        if (window->objectName() == objectName)
            return window.get();
    }
    return nullptr;
}

const char *const kHelp =
    "Usage: velmorandquist [FILE]\n"
    "       velmorandquist --help | --version\n"
    "\n"
    "A text editor whose Encrypt and Decrypt commands turn its text into a\n"
    "password-protected block of printable text and back, and whose Quick Mail\n"
    "sends it. FILE, if given, is opened in the editor at start; with more than\n"
    "one the editor starts empty.\n"
    "\n"
    "  --help     show this text and exit.\n"
    "  --version  show the version and exit.\n"
    "\n"
    "The options of Qt (such as -platform NAME, -style NAME, -display DISPLAY)\n"
    "work as in every Qt program. A FILE that begins with \"-\" follows \"--\".\n"
    "\n"
    "vlq does the same encryption on the command line; see vlq --help.\n";

int runProgram(int argc, char *argv[])
{
    // Answered before any window or display connection exists, so a
    // terminal without a display gets them too.
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Help:
        return std::fputs(kHelp, stdout) < 0 ? 1 : 0;
    case CommandLine::Action::Version:
        return std::printf("velmorandquist %s\n", VLQ_VERSION) < 0 ? 1 : 0;
    case CommandLine::Action::Error:
        std::fprintf(
            stderr, "velmorandquist: %s; try 'velmorandquist --help'.\n", line.error.c_str());
        return 1;
    case CommandLine::Action::Run:
        if (!line.warning.empty())
            std::fprintf(stderr, "velmorandquist: %s.\n", line.warning.c_str());
        break;
    }

    QApplication app(argc, argv);
    // Ties the running window to its menu entry (icon and name in docks).
    QGuiApplication::setDesktopFileName(QStringLiteral(VLQ_APP_ID));
    // An error that escapes start-up or the message loop is shown, and the
    // program ends.
    gui::guarded([&] {
        Program program(QString::fromLocal8Bit(line.file));
        app.exec();
    });
    return 0;
}

} // namespace editor
