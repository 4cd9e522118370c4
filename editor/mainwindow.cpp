#include "editor/mainwindow.h"

#include "assets/assets.h"
#include "editor/helpwindow.h"
#include "platform/form.h"
#include "platform/richedit.h"
#include "platform/settingsstore.h"
#include "platform/ui.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace platform;

namespace {

const QString kCredit = QStringLiteral("Encryption By Qumo");
const QString kSettingsKey = QStringLiteral("\\software\\Qumo\\Velmorandquist");
const QString kStartKey =
    QStringLiteral("\\software\\Qumo\\Velmorandquist\\environment\\start_key");

struct ToolButtonInfo
{
    const char *caption;
    const char *image;
    void (TForm1::*handler)();
};

// Button k of one row runs the same handler as button k of the other.
const ToolButtonInfo kToolButtons[] = {
    {"&New", "toolbar/new", &TForm1::ExplorerButton8Click},
    {"&Open", "toolbar/open", &TForm1::Button1Click},
    {"&Save", "toolbar/save", &TForm1::Button2Click},
    {"&Copy All", "toolbar/copyall", &TForm1::CopyallClick},
    {"&Paste", "toolbar/paste", &TForm1::Paste1Click},
    {"E&ncrypt", "toolbar/encrypt", &TForm1::Button3Click},
    {"&Decrypt", "toolbar/decrypt", &TForm1::Button4Click},
    {"Quick &Mail", "toolbar/quickmail", &TForm1::ExplorerButton7Click},
};

QFrame *strip(QWidget *parent, int height)
{
    auto *frame = new QFrame(parent);
    frame->setFixedHeight(height);
    return frame;
}

} // namespace

TForm1::TForm1(const QStringList &arguments, bool noticeTimer, QWidget *parent)
    : QMainWindow(parent)
    , m_arguments(arguments)
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Velmorandquist - 0.98 Beta2"));
    setAttribute(Qt::WA_QuitOnClose);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel2 = strip(central, 2);
    Panel3 = strip(central, 41);
    Panel1 = strip(central, 27);
    Panel1->hide();
    RichEdit1 = new RichEdit(central);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    layout->addWidget(Panel2);
    layout->addWidget(Panel3);
    layout->addWidget(Panel1);
    layout->addWidget(RichEdit1, 1);
    setCentralWidget(central);

    // The editor's start font: 8 points, the window-text colour.
    QFont startFont(QStringLiteral("MS Sans Serif"), 8);
    startFont.setStyleHint(QFont::SansSerif);
    RichEdit1->document()->setDefaultFont(startFont);
    FontDialog1.font = {startFont, RichEdit1->palette().color(QPalette::Text)};

    regno = new QLineEdit(this);
    regno->hide();
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    auto *bar = new QStatusBar(this);
    setStatusBar(bar);
    bar->setSizeGripEnabled(true);
    const QString initial[3] = {
        QStringLiteral("0 Bytes"), QString(), QStringLiteral(" Encryption by Qumo")};
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(initial[i], bar);
        StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i < 2)
            StatusPanel[i]->setFixedWidth(85);
        bar->addWidget(StatusPanel[i], i < 2 ? 0 : 1);
    }

    const QString folder = QDir::home().filePath(QStringLiteral("Velmorandquist/Encrypted"));
    OpenDialog1.mode = FileRequest::Mode::Open;
    OpenDialog1.title = QStringLiteral("Velmorandquist - Open File:");
    OpenDialog1.defaultExt = QStringLiteral("vlq");
    OpenDialog1.initialDir = folder;
    OpenDialog1.filter = QStringLiteral("Velmorandquist Encripted Files (*.vlq)|*.vlq|Text Files "
                                        "(*.txt)|*.txt|All Files (*.*)|*.*");
    SaveDialog1.mode = FileRequest::Mode::Save;
    SaveDialog1.title = QStringLiteral("Velmorandquist - Save File:");
    SaveDialog1.defaultExt = QStringLiteral("vlq");
    SaveDialog1.initialDir = folder;
    SaveDialog1.filter = QStringLiteral("Velmorandquist Encripted File (*.vlq)|*.vlq|Text "
                                        "(*.txt)|*.txt|All Files (*.*)|*.*");

    buildMenus();
    buildToolbars();

    connect(RichEdit1, &RichEdit::changed, this, &TForm1::RichEdit1Change);
    connect(RichEdit1, &RichEdit::selectionMoved, this, &TForm1::RichEdit1SelectionChange);
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEdit1, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &at) { PopupMenu1->popup(RichEdit1->viewport()->mapToGlobal(at)); });

    resize(531, 408);

    connect(Timer1, &QTimer::timeout, this, [this] { run([this] { Timer1Timer(); }); });
    FormCreate();
    if (!noticeTimer)
        Timer1->stop();
}

TForm1::~TForm1() = default;

QAction *TForm1::action(QMenu *menu, const QString &caption, void (TForm1::*handler)())
{
    QAction *a = menu->addAction(caption);
    connect(a, &QAction::triggered, this,
        [this, handler] { run([this, handler] { (this->*handler)(); }); });
    return a;
}

void TForm1::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    New1 = action(file, QStringLiteral("&New"), &TForm1::New1Click);
    Open1 = action(file, QStringLiteral("&Open..."), &TForm1::Button1Click);
    SaveAs1 = action(file, QStringLiteral("&Save As..."), &TForm1::Button2Click);
    Print1 = action(file, QStringLiteral("&Print..."), &TForm1::Print1Click);
    file->addSeparator();
    Encrypt1 = action(file, QStringLiteral("&Encrypt..."), &TForm1::Button3Click);
    Decrypt1 = action(file, QStringLiteral("&Decrypt..."), &TForm1::Button4Click);
    file->addSeparator();
    Exit1 = action(file, QStringLiteral("E&xit"), &TForm1::Exit1Click);

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    Cut1 = action(edit, QStringLiteral("C&ut"), &TForm1::Cut1Click);
    Copy1 = action(edit, QStringLiteral("&Copy"), &TForm1::Copy1Click);
    Paste1 = action(edit, QStringLiteral("&Paste"), &TForm1::Paste1Click);
    edit->addSeparator();
    Copyall = action(edit, QStringLiteral("Copy &All"), &TForm1::CopyallClick);
    SelectAll1 = action(edit, QStringLiteral("&Select All"), &TForm1::SelectAll1Click);
    Clear1 = action(edit, QStringLiteral("C&lear All"), &TForm1::Clear1Click);

    QMenu *tools = bar->addMenu(QStringLiteral("&Tools"));
    SpellCheck1 = action(tools, QStringLiteral("&Spell Check..."), &TForm1::SpellCheck1Click);
    WipeFile1 = action(tools, QStringLiteral("&Wipe File..."), &TForm1::WipeFile1Click);

    QMenu *mail = bar->addMenu(QStringLiteral("M&ail"));
    Send1 = action(mail, QStringLiteral("Send Quick &Mail..."), &TForm1::Send1Click);
    SendMAPIMail1 = action(mail, QStringLiteral("&Send MAPI Mail..."), &TForm1::SendMAPIMail1Click);
    MailPreferances1 =
        action(mail, QStringLiteral("Mail &Preferances..."), &TForm1::MailPreferances1Click);

    QMenu *options = bar->addMenu(QStringLiteral("&Options"));
    // Ticked entries: Qt flips the tick before the handler runs; the handlers
    // read the tick as it was and set it themselves, so undo Qt's flip first.
    const auto toggle = [this, options](const QString &caption, void (TForm1::*handler)()) {
        QAction *a = options->addAction(caption);
        a->setCheckable(true);
        a->setChecked(true);
        connect(a, &QAction::triggered, this, [this, a, handler] {
            a->setChecked(!a->isChecked());
            run([this, handler] { (this->*handler)(); });
        });
        return a;
    };
    ShowToolBar1 = toggle(QStringLiteral("&Show Tool Bar"), &TForm1::ShowToolBar1Click);
    ShowButtonText1 = toggle(QStringLiteral("Show Button &Text"), &TForm1::ShowButtonText1Click);
    options->addSeparator();
    WordWrap1 = toggle(QStringLiteral("&Word Wrap"), &TForm1::WordWrap1Click);
    options->addSeparator();
    Colors1 = action(options, QStringLiteral("&Font..."), &TForm1::Colors1Click);
    Color1 = action(options, QStringLiteral("Background &Color..."), &TForm1::Color1Click);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    N1 = action(help, QStringLiteral("H&elp..."), &TForm1::N1Click);
    About1 = action(help, QStringLiteral("&About..."), &TForm1::About1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(QStringLiteral("&Cut"), this, [this] { run([this] { Cut1Click(); }); });
    PopupMenu1->addAction(QStringLiteral("C&opy"), this, [this] { run([this] { Copy1Click(); }); });
    PopupMenu1->addAction(
        QStringLiteral("&Paste"), this, [this] { run([this] { Paste1Click(); }); });
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(
        QStringLiteral("Copy &All"), this, [this] { run([this] { CopyallClick(); }); });
    PopupMenu1->addAction(
        QStringLiteral("&Select All"), this, [this] { run([this] { SelectAll1Click(); }); });
    PopupMenu1->addAction(
        QStringLiteral("C&lear All"), this, [this] { run([this] { Clear1Click(); }); });
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(
        QStringLiteral("&Encrypt"), this, [this] { run([this] { Button3Click(); }); });
    PopupMenu1->addAction(
        QStringLiteral("&Decrypt"), this, [this] { run([this] { Button4Click(); }); });
}

QList<QAbstractButton *> TForm1::populateToolbarRow(QFrame *row, bool captions, int buttonHeight)
{
    delete row->layout();
    qDeleteAll(row->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, (row->height() - buttonHeight) / 2, 0, 0);
    layout->setSpacing(0);
    QList<QAbstractButton *> buttons;
    for (const ToolButtonInfo &info : kToolButtons) {
        // Flat buttons, the image above the caption when it is shown.
        auto *button = new QToolButton(row);
        button->setAutoRaise(true);
        button->setIcon(assets::icon(QString::fromLatin1(info.image)));
        const int side = qMin(assets::kToolbarSize.height(), buttonHeight - (captions ? 19 : 5));
        button->setIconSize(QSize(side, side));
        button->setToolButtonStyle(captions ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
        const QString caption = QString::fromLatin1(info.caption);
        button->setText(captions ? caption : QString());
        if (!captions)
            button->setToolTip(QString(caption).remove(QLatin1Char('&')));
        button->setFixedSize(65, buttonHeight);
        button->setFocusPolicy(Qt::NoFocus);
        const auto handler = info.handler;
        connect(button, &QToolButton::clicked, this,
            [this, handler] { run([this, handler] { (this->*handler)(); }); });
        layout->addWidget(button, 0, Qt::AlignTop);
        buttons << button;
    }
    layout->addStretch(1);
    return buttons;
}

void TForm1::buildToolbars()
{
    Panel3Buttons = populateToolbarRow(Panel3, true, 37);
    Panel1Buttons = populateToolbarRow(Panel1, false, 23);
    for (auto *row : {&Panel3Buttons, &Panel1Buttons}) {
        (*row)[TbEncrypt]->setEnabled(false);
        (*row)[TbDecrypt]->setEnabled(false);
    }
}

void TForm1::run(const std::function<void()> &command)
{
    guarded(command);
}

// --- The document's state ----------------------------------------------------

void TForm1::RichEdit1Change()
{
    const qint64 n = RichEdit1->byteCount();
    const bool marker = RichEdit1->containsBeginMarker();
    for (auto *row : {&Panel3Buttons, &Panel1Buttons}) {
        (*row)[TbEncrypt]->setEnabled(n != 0);
        (*row)[TbDecrypt]->setEnabled(marker);
    }
    StatusPanel[0]->setText(QStringLiteral("%1 bytes").arg(n));
}

void TForm1::RichEdit1SelectionChange()
{
    StatusPanel[1]->setText(QStringLiteral("Modified"));
    DocModified = true;
}

bool TForm1::AskSaveChanges()
{
    if (!DocModified)
        return true;
    if (messageBox(QStringLiteral("Do you want to save changes to current file?"),
            QStringLiteral("SAVE CHANGES?"), Icon::Warning, Buttons::YesNo)
        != Answer::Yes)
        return true;
    // Cancelling the save after Yes keeps the text: the command stops here.
    if (!SaveDialog1.execute())
        return false;
    RichEdit1->saveToFile(SaveDialog1.fileName);
    return true;
}

// --- File commands -------------------------------------------------------------

void TForm1::New1Click()
{
    if (!AskSaveChanges())
        return;
    DocModified = false;
    StatusPanel[1]->clear();
    RichEdit1->setText({});
}

void TForm1::ExplorerButton8Click()
{
    if (!AskSaveChanges())
        return;
    RichEdit1->setText({});
    DocModified = false;
    StatusPanel[1]->clear();
    StatusPanel[2]->setText(kCredit);
}

void TForm1::Clear1Click()
{
    ExplorerButton8Click();
}

void TForm1::Button1Click()
{
    if (!AskSaveChanges())
        return;
    DocModified = false;
    StatusPanel[1]->clear();
    if (!OpenDialog1.execute())
        return;
    RichEdit1->loadFromFile(OpenDialog1.fileName);
    StatusPanel[2]->setText(OpenDialog1.fileName);
}

void TForm1::Button2Click()
{
    if (!SaveDialog1.execute())
        return;
    RichEdit1->saveToFile(SaveDialog1.fileName);
    DocModified = false;
    StatusPanel[1]->clear();
    StatusPanel[2]->setText(SaveDialog1.fileName);
}

void TForm1::Print1Click()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!ui().printDialog(printer, QString()))
        return;
    printDocument(*RichEdit1, printer);
}

void TForm1::printDocument(const RichEdit &editor, QPrinter &printer)
{
    if (!printer.isValid())
        throw Error(QStringLiteral("Printer selected is not valid"));
    printer.setFullPage(false);
    QPainter painter;
    if (!painter.begin(&printer))
        throw Error(QStringLiteral("Printer selected is not valid"));
    // The page is the whole printable area from its top left corner; the
    // text is laid out anew for the printer's resolution, as many lines as
    // fit on a page, page after page.
    std::unique_ptr<QTextDocument> doc(editor.document()->clone());
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSizeF page(area.width(), area.height());
    doc->setPageSize(page);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, editor.palette().color(QPalette::Text));
    const int pages = doc->pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage())
            throw Error(QStringLiteral("Printer selected is not valid"));
        painter.save();
        painter.translate(0, -i * page.height());
        // A line that starts on the next page must not be drawn here at all,
        // not even clipped (a PDF keeps clipped text), so the view ends one
        // device pixel early: no line is thinner than that.
        context.clip = QRectF(0, i * page.height(), page.width(), page.height() - 1);
        painter.setClipRect(context.clip);
        doc->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    painter.end();
}

void TForm1::Button3Click()
{
    if (Form2)
        Form2->showModal();
}

void TForm1::Button4Click()
{
    if (Form3)
        Form3->showModal();
}

void TForm1::Exit1Click()
{
    close();
}

// --- Edit commands -------------------------------------------------------------

void TForm1::Cut1Click()
{
    RichEdit1->cut();
}

void TForm1::Copy1Click()
{
    RichEdit1->copy();
}

void TForm1::Paste1Click()
{
    RichEdit1->paste();
}

void TForm1::CopyallClick()
{
    RichEdit1->setFocus();
    RichEdit1->selectAll();
    RichEdit1->copy();
}

void TForm1::SelectAll1Click()
{
    RichEdit1->setFocus();
    RichEdit1->selectAll();
}

// --- Tools, mail, help -------------------------------------------------------

void TForm1::SpellCheck1Click()
{
    messageBox(QStringLiteral("Spell check will be working in\nthe next build of Velmorandquist."),
        applicationTitle(), Icon::None);
}

void TForm1::WipeFile1Click()
{
    if (Form7)
        Form7->showModal();
}

void TForm1::Send1Click()
{
    if (Form9)
        Form9->showModal();
}

void TForm1::SendMAPIMail1Click() { }

void TForm1::MailPreferances1Click()
{
    if (Form10)
        Form10->showModal();
}

void TForm1::ExplorerButton7Click() { }

void TForm1::N1Click()
{
    // The program's own help page, in a window of its own that does not
    // block this one; nothing is reported when it cannot be shown.
    showHelp();
}

void TForm1::About1Click()
{
    if (Form6)
        Form6->showModal();
}

// --- View options ------------------------------------------------------------

void TForm1::ShowToolBar1Click()
{
    if (ShowToolBar1->isChecked()) {
        Panel1->hide();
        Panel3->hide();
        ShowToolBar1->setChecked(false);
    } else {
        if (ShowButtonText1->isChecked())
            Panel3->show();
        else
            Panel1->show();
        ShowToolBar1->setChecked(true);
    }
}

void TForm1::ShowButtonText1Click()
{
    if (ShowButtonText1->isChecked()) {
        if (ShowToolBar1->isChecked()) {
            Panel3->hide();
            Panel1->show();
        }
        ShowButtonText1->setChecked(false);
    } else {
        if (ShowToolBar1->isChecked()) {
            Panel1->hide();
            Panel3->show();
        }
        ShowButtonText1->setChecked(true);
    }
}

void TForm1::WordWrap1Click()
{
    const bool on = !WordWrap1->isChecked();
    RichEdit1->setWordWrap(on);
    WordWrap1->setChecked(on);
}

void TForm1::Colors1Click()
{
    if (!FontDialog1.execute())
        return;
    // The chosen font becomes the default character format: text without a
    // format of its own shows in it.
    RichEdit1->document()->setDefaultFont(FontDialog1.font.font);
    QPalette palette = RichEdit1->palette();
    palette.setColor(QPalette::Text, FontDialog1.font.color);
    RichEdit1->setPalette(palette);
}

void TForm1::Color1Click()
{
    if (!ColorDialog1.execute())
        return;
    QPalette palette = RichEdit1->palette();
    palette.setColor(QPalette::Base, ColorDialog1.color);
    RichEdit1->setPalette(palette);
}

// --- Window events -------------------------------------------------------------

void TForm1::FormCreate()
{
    // The program's settings key; a store that cannot be written is reported
    // and start-up goes on.
    run([] {
        SettingsStore store;
        if (!store.keyExists(kSettingsKey))
            store.createKey(kSettingsKey);
    });
    Timer1->start();
}

void TForm1::Timer1Timer()
{
    // Once per start.
    Timer1->stop();
    {
        SettingsStore store;
        store.openKey(kStartKey, true);
        regno->setText(store.readString(QStringLiteral("start_key")));
        store.closeKey();
    }
    if (!regno->text().contains(QLatin1String("no")) && Form4)
        Form4->showModal();
}

void TForm1::FormActivate()
{
    if (!m_activated) {
        m_activated = true;
        if (m_arguments.size() == 1) {
            const QString name = m_arguments.constFirst();
            run([this, name] {
                RichEdit1->loadFromFile(name);
                StatusPanel[2]->setText(name);
            });
        }
    }
    RichEdit1->setFocus();
}

bool TForm1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && becomesActiveForm(this))
        FormActivate();
    return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    bool goOn = false;
    // A failed save, or a save dialog cancelled after Yes, keeps the window
    // open, so the text is not lost.
    if (!guarded([&] { goOn = AskSaveChanges(); }) || !goOn) {
        event->ignore();
        return;
    }
    event->accept();
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_sized) {
        m_sized = true;
        // 531 by 408 is the outer size, frame included.
        const QSize frame = frameGeometry().size() - geometry().size();
        resize(QSize(531, 408) - frame);
        centreOnScreen(this);
    }
}
