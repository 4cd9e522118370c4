#include "editor/program.h"

#include "assets/assets.h"
#include "cipher/decryptdialog.h"
#include "cipher/encryptdialog.h"
#include "editor/aboutform.h"
#include "editor/mainwindow.h"
#include "editor/noticeform.h"
#include "editor/splashform.h"
#include "editor/wipeform.h"
#include "platform/ui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWindow>
#include <vector>

struct Program::Windows
{
    // In creation order; destroyed in reverse, so no window outlives one
    // it refers to.
    std::vector<std::unique_ptr<QWidget>> all;
    TForm1 *form1 = nullptr;
    TForm2 *form2 = nullptr;
    TForm3 *form3 = nullptr;

    ~Windows()
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
};

Program::Program(const QStringList &arguments, const StartupOptions &options)
    : m_windows(std::make_unique<Windows>())
{
    Windows &w = *m_windows;

    // The splash, painted before the wait; nothing else happens meanwhile.
    std::unique_ptr<TForm5> splash;
    if (options.showSplash) {
        splash = std::make_unique<TForm5>();
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

    platform::setApplicationTitle(QStringLiteral("Velmorandquist"));
    QApplication::setWindowIcon(assets::windowIcon());

    w.form1 = w.create<TForm1>(creationLog, arguments, options.noticeTimer);
    // The main window shows as soon as it is created, over the splash.
    w.form1->show();
    w.form1->Form7 = w.create<TForm7>(creationLog);
    w.form1->Form4 = w.create<TForm4>(creationLog);

    if (splash) {
        splash->hide();
        splash.reset();
        creationLog << QStringLiteral("-TForm5");
    }

    w.form2 = w.create<TForm2>(creationLog, w.form1->RichEdit1);
    w.form3 = w.create<TForm3>(creationLog, w.form1->RichEdit1);
    w.form1->Form2 = w.form2;
    w.form1->Form3 = w.form3;
    w.form1->Form6 = w.create<TForm6>(creationLog);
}

Program::~Program() = default;

TForm1 *Program::Form1() const
{
    return m_windows->form1;
}

TForm2 *Program::Form2() const
{
    return m_windows->form2;
}

TForm3 *Program::Form3() const
{
    return m_windows->form3;
}

QWidget *Program::form(const QString &name) const
{
    for (const auto &window : m_windows->all) {
        if (window->objectName() == name)
            return window.get();
    }
    return nullptr;
}

int runProgram(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    // An error that escapes start-up or the message loop is shown, and the
    // program ends.
    platform::guarded([&] {
        Program program(arguments);
        app.exec();
    });
    return 0;
}
