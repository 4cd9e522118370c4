#include "gui/modal.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace gui {

namespace {

Modal *g_installed = nullptr;

QtModal &realModal()
{
    static QtModal instance;
    return instance;
}

Modal &installedModal()
{
    return g_installed ? *g_installed : realModal();
}

// --- While the windows are made ---------------------------------------------

// The innermost scope, which holds the boxes back.
CreationScope *g_creating = nullptr;
QMetaObject::Connection g_loopWatch;

void creationFault(const char *what)
{
    qCritical("%s while the program's windows were being made", what);
    Q_ASSERT_X(false, "gui::CreationScope", what);
}

// What the program meets when it asks for something modal during creation:
// plain boxes wait, the rest is refused without being shown.
class CreationModal : public Modal
{
public:
    Answer message(const MessageRequest &request) override
    {
        if (request.buttons == Buttons::Ok) {
            g_creating->hold(request);
            return Answer::Ok;
        }
        creationFault("A question box was asked");
        return request.buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
    std::optional<FileAnswer> fileDialog(const FileRequest &) override
    {
        creationFault("A file dialog was asked");
        return std::nullopt;
    }
    bool printDialog(QPrinter &, const QString &) override
    {
        creationFault("A print dialog was asked");
        return false;
    }
    std::optional<FontChoice> fontDialog(const FontChoice &) override
    {
        creationFault("A font dialog was asked");
        return std::nullopt;
    }
    std::optional<QColor> colorDialog(const QColor &) override
    {
        creationFault("A colour dialog was asked");
        return std::nullopt;
    }
    int execModal(QDialog &dialog) override
    {
        creationFault(
            qPrintable(QStringLiteral("Window %1 was shown modally").arg(dialog.objectName())));
        return QDialog::Rejected;
    }
    // Neither of these waits for anything.
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return installedModal().startDetached(program, arguments);
    }
    bool openUrl(const QUrl &url) override { return installedModal().openUrl(url); }
    void setBusy(bool busy) override { installedModal().setBusy(busy); }
};

QMessageBox::Icon qtIcon(Icon icon)
{
    switch (icon) {
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The font dialog with the effects the editor's character format carries:
// Qt's font dialog has no colour, so a colour button sits under it.
class FontAndColourDialog : public QDialog
{
public:
    explicit FontAndColourDialog(const FontChoice &initial)
        : m_color(initial.color)
    {
        setWindowTitle(QStringLiteral("Font"));
        auto *layout = new QVBoxLayout(this);
        m_fonts = new QFontDialog(initial.font, this);
        m_fonts->setOption(QFontDialog::NoButtons);
        m_fonts->setWindowFlags(Qt::Widget);
        layout->addWidget(m_fonts);
        m_colorButton = new QPushButton(this);
        layout->addWidget(m_colorButton);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(m_colorButton, &QPushButton::clicked, this, [this] {
            const QColor c = QColorDialog::getColor(m_color, this);
            if (c.isValid())
                m_color = c;
            showColor();
        });
        showColor();
    }

    FontChoice choice() const { return {m_fonts->currentFont(), m_color}; }

private:
    void showColor() { m_colorButton->setText(QStringLiteral("Colour: %1").arg(m_color.name())); }

    QFontDialog *m_fonts;
    QPushButton *m_colorButton;
    QColor m_color;
};

QString g_title;

} // namespace

Modal::~Modal() = default;

Modal &modal()
{
    static CreationModal whileCreating;
    return g_creating ? whileCreating : installedModal();
}

CreationScope::CreationScope()
    : m_outer(g_creating)
{
    g_creating = this;
    if (m_outer)
        return;
    // Any turn of an event loop (a box, a dialog, processEvents) wakes the
    // dispatcher.
    if (auto *dispatcher = QAbstractEventDispatcher::instance()) {
        g_loopWatch = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, dispatcher,
            [] { creationFault("An event loop ran"); });
    }
}

CreationScope::~CreationScope()
{
    g_creating = m_outer;
    if (m_outer)
        m_outer->m_held += m_held;
    else
        QObject::disconnect(g_loopWatch);
}

QList<MessageRequest> CreationScope::takeHeld()
{
    return std::exchange(m_held, {});
}

bool creatingWindows()
{
    return g_creating != nullptr;
}

void installModal(Modal *ui)
{
    g_installed = ui;
}

QString applicationTitle()
{
    return g_title.isEmpty() ? QCoreApplication::applicationName() : g_title;
}

void setApplicationTitle(const QString &title)
{
    g_title = title;
}

Answer messageBox(const QString &text, const QString &caption, Icon icon, Buttons buttons,
    std::optional<Answer> defaultAnswer)
{
    return modal().message({text, caption, icon, buttons, defaultAnswer});
}

void showError(const QString &text)
{
    messageBox(text + QLatin1Char('.'), applicationTitle(), Icon::Error, Buttons::Ok);
}

QStringList qtNameFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        // The description is shown as written; the patterns in the last
        // parentheses are what the dialog filters by (their display is hidden).
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
                + QLatin1Char(')');
    }
    return filters;
}

Answer QtModal::message(const MessageRequest &request)
{
    QMessageBox box(qtIcon(request.icon), request.caption, request.text);
    switch (request.buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    if (request.defaultAnswer) {
        switch (*request.defaultAnswer) {
        case Answer::Ok:
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case Answer::Cancel:
            box.setDefaultButton(QMessageBox::Cancel);
            break;
        case Answer::Yes:
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case Answer::No:
            box.setDefaultButton(QMessageBox::No);
            break;
        }
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return request.buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

std::optional<FileAnswer> QtModal::fileDialog(const FileRequest &request)
{
    QFileDialog dialog(nullptr, request.title);
    const bool save = request.mode == FileRequest::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(
            filters.value(qBound(1, request.filterIndex, int(filters.size())) - 1));
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.proposedName.isEmpty())
        dialog.selectFile(request.proposedName);
    else if (!request.initialDir.isEmpty() && QDir(request.initialDir).exists())
        dialog.setDirectory(request.initialDir);
    else
        dialog.setDirectory(QDir::currentPath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FileAnswer {
        dialog.selectedFiles().constFirst(), int(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

bool QtModal::printDialog(QPrinter &printer, const QString &title)
{
    QPrintDialog dialog(&printer);
    if (!title.isEmpty())
        dialog.setWindowTitle(title);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<FontChoice> QtModal::fontDialog(const FontChoice &initial)
{
    FontAndColourDialog dialog(initial);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

std::optional<QColor> QtModal::colorDialog(const QColor &initial)
{
    const QColor c = QColorDialog::getColor(initial);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

int QtModal::execModal(QDialog &dialog)
{
    return dialog.exec();
}

bool QtModal::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool QtModal::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

void QtModal::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace gui
