#include "tests/support/scriptedmodal.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileInfo>
#include <QPrinter>
#include <QTimer>
#include <QUrl>

namespace testsupport {

namespace {
gui::Modal *g_current = nullptr;
}

QString iconName(Icon icon)
{
    switch (icon) {
    case Icon::None:
        return QStringLiteral("none");
    case Icon::Warning:
        return QStringLiteral("warning");
    case Icon::Error:
        return QStringLiteral("error");
    case Icon::Information:
        return QStringLiteral("information");
    case Icon::Question:
        return QStringLiteral("question");
    }
    return {};
}

QString buttonsName(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return QStringLiteral("ok");
    case Buttons::OkCancel:
        return QStringLiteral("okcancel");
    case Buttons::YesNo:
        return QStringLiteral("yesno");
    case Buttons::YesNoCancel:
        return QStringLiteral("yesnocancel");
    }
    return {};
}

void activateWindow(QWidget *window)
{
    if (!window)
        return;
    // Not every platform plugin reports activation by itself (offscreen does
    // not reliably), so set it as the window system would.
    QApplication::setActiveWindow(window);
}

ScriptedModal::ScriptedModal()
    : m_previous(g_current ? g_current : nullptr)
{
    g_current = this;
    gui::installModal(this);
}

ScriptedModal::~ScriptedModal()
{
    g_current = m_previous;
    gui::installModal(m_previous);
    while (m_busy > 0)
        setBusy(false);
}

void ScriptedModal::onModal(const QString &objectName, std::function<void(QDialog &)> script)
{
    modalScripts[objectName].append(std::move(script));
}

QStringList ScriptedModal::messageTexts() const
{
    QStringList texts;
    for (const MessageRequest &m : messages)
        texts << m.text;
    return texts;
}

Answer ScriptedModal::message(const MessageRequest &request)
{
    messages << request;
    // A safe default shows as "default-no" and the like after the buttons.
    QString buttons = buttonsName(request.buttons);
    if (request.safeAnswer) {
        static const char *const names[] = {"ok", "cancel", "yes", "no"};
        buttons += QStringLiteral(" default-%1").arg(QLatin1String(names[int(*request.safeAnswer)]));
    }
    log << QStringLiteral("message %1 %2 %3: %4")
               .arg(request.caption, iconName(request.icon), buttons, request.text);
    if (messageOpenMs > 0) {
        QEventLoop open;
        QTimer::singleShot(messageOpenMs, &open, &QEventLoop::quit);
        open.exec();
    }
    if (!messageAnswers.isEmpty())
        return messageAnswers.takeFirst();
    if (request.safeAnswer)
        return *request.safeAnswer;
    switch (request.buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    }
    return Answer::Ok;
}

std::optional<FileAnswer> ScriptedModal::fileDialog(const FileRequest &request)
{
    fileRequests << request;
    log << QStringLiteral("%1 %2").arg(
        request.mode == FileRequest::Mode::Open ? QStringLiteral("open") : QStringLiteral("save"),
        request.title);
    if (fileAnswers.isEmpty())
        return std::nullopt;
    const std::optional<QString> answer = fileAnswers.takeFirst();
    if (!answer)
        return std::nullopt;
    QString name = *answer;
    // As the real dialog does: a name without extension gets the default one.
    if (!request.defaultSuffix.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += QLatin1Char('.') + request.defaultSuffix;
    return FileAnswer {QFileInfo(name).absoluteFilePath(), request.filterIndex};
}

bool ScriptedModal::printDialog(QPrinter &printer, const QString &)
{
    printRequests << printer.outputFileName();
    log << QStringLiteral("print");
    if (printAnswers.isEmpty())
        return false;
    const std::optional<QString> answer = printAnswers.takeFirst();
    if (!answer)
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*answer);
    return true;
}

std::optional<FontChoice> ScriptedModal::fontDialog(const FontChoice &initial)
{
    fontRequests << initial;
    log << QStringLiteral("font");
    return fontAnswers.isEmpty() ? std::nullopt : fontAnswers.takeFirst();
}

std::optional<QColor> ScriptedModal::colorDialog(const QColor &initial)
{
    colorRequests << initial;
    log << QStringLiteral("color");
    return colorAnswers.isEmpty() ? std::nullopt : colorAnswers.takeFirst();
}

int ScriptedModal::execModal(QDialog &dialog)
{
    const QString name = dialog.objectName();
    log << QStringLiteral("modal %1").arg(name);
    QPointer<QWidget> previous = QApplication::activeWindow();
    dialog.setResult(0);
    dialog.show();
    activateWindow(&dialog);
    auto it = modalScripts.find(name);
    if (it != modalScripts.end() && !it->isEmpty()) {
        const auto script = it->takeFirst();
        script(dialog);
    }
    if (dialog.isVisible())
        dialog.reject();
    log << QStringLiteral("end %1").arg(name);
    if (previous && previous != &dialog)
        activateWindow(previous);
    return dialog.result();
}

bool ScriptedModal::startDetached(const QString &program, const QStringList &arguments)
{
    log << QStringLiteral("start %1 %2").arg(program, arguments.join(QLatin1Char(' '))).trimmed();
    startRequests << (QStringList {program} + arguments);
    return startSucceeds;
}

bool ScriptedModal::openUrl(const QUrl &url)
{
    log << QStringLiteral("open-url %1").arg(url.toString(QUrl::FullyEncoded));
    return openUrlSucceeds;
}

void ScriptedModal::setBusy(bool busy)
{
    m_busy += busy ? 1 : -1;
    log << (busy ? QStringLiteral("busy") : QStringLiteral("idle"));
}

} // namespace testsupport
