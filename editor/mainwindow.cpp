#include "editor/mainwindow.h"

#include "cipher/armor.h"
#include "cipher/cipher.h"
#include "cipher/hardening.h"
#include "cipher/openpgp.h"
#include "cipher/windows/encryptable.h"
#include "cipher/windows/keypicker.h"
#include "editor/clipboardwindow.h"
#include "editor/document.h"
#include "editor/findwindow.h"
#include "editor/sharedletters.h"
#include "gui/form.h"
#include "gui/helpwindow.h"
#include "gui/modal.h"
#include "gui/printing.h"
#include "gui/richedit.h"
#include "mail/windows/composerwindow.h"
#include "mail/windows/preferenceswindow.h"
#include "settings/store.h"
#include "settings/values.h"
#include "spelling/windows/spellchecking.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QTextDocument>
#include <QTime>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

using namespace gui;

namespace editor {

namespace {

const QString kCredit = QStringLiteral("Encryption By Qumo");

QByteArray digest(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
}

// The first local file among dragged things, or empty.
QString droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

} // namespace

MainWindow::MainWindow(const QString &file, PeerWindows &peers, int noticeDelayMs, QWidget *parent)
    : QMainWindow(parent)
    , m_peers(peers)
    , m_file(file)
    , m_noticeDelayMs(noticeDelayMs)
{
    m_sinceCreation.start();
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Velmorandquist - 0.98 Beta2"));
    setAttribute(Qt::WA_QuitOnClose);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *strip = new QFrame(central);
    strip->setObjectName(QStringLiteral("Panel2"));
    strip->setFixedHeight(2);
    m_captionRow = new ToolbarRow(QStringLiteral("Panel3"), true, 41, 37, central);
    m_pictureRow = new ToolbarRow(QStringLiteral("Panel1"), false, 27, 23, central);
    m_pictureRow->hide();
    m_editor = new RichEdit(central);
    m_editor->setObjectName(QStringLiteral("RichEdit1"));
    m_document = new Document(*m_editor, this);
    // The toolbar's Decrypt buttons follow the blocks' begin markers, ours and OpenPGP's.
    m_editor->setMarkers(
        {QString::fromLatin1(cipher::kBeginMarker.data(), qsizetype(cipher::kBeginMarker.size())),
            QString::fromLatin1(
                cipher::armor::kBegin.data(), qsizetype(cipher::armor::kBegin.size()))});
    m_editor->setAccessibleName(QStringLiteral("Document"));
    // A file dropped on the editor opens; dropped text is inserted.
    m_editor->setPassesFileDrops(true);
    setAcceptDrops(true);
    layout->addWidget(strip);
    layout->addWidget(m_captionRow);
    layout->addWidget(m_pictureRow);
    layout->addWidget(m_editor, 1);
    setCentralWidget(central);
    m_captionRow->setAccessibleName(QStringLiteral("Toolbar"));
    m_pictureRow->setAccessibleName(QStringLiteral("Toolbar"));
    for (ToolbarRow *row : {m_captionRow, m_pictureRow}) {
        row->button(ToolbarRow::Encrypt)->setEnabled(false);
        row->button(ToolbarRow::Decrypt)->setEnabled(false);
        connect(row, &ToolbarRow::pressed, this, &MainWindow::toolbarPressed);
    }

    // The editor's start font: 8 points, the window-text colour.
    QFont startFont(QStringLiteral("MS Sans Serif"), 8);
    startFont.setStyleHint(QFont::SansSerif);
    m_editor->document()->setDefaultFont(startFont);
    m_fontDialog.font = {startFont, m_editor->palette().color(QPalette::Text)};

    auto *bar = new QStatusBar(this);
    setStatusBar(bar);
    bar->setSizeGripEnabled(true);
    const QString initial[3] = {
        QStringLiteral("0 Bytes"), QString(), QStringLiteral(" Encryption by Qumo")};
    for (int i = 0; i < 3; ++i) {
        m_status[i] = new QLabel(initial[i], bar);
        m_status[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // A screen reader reads a label by its name, which is its text
        // unless one is set: what the panel shows is its name, and what it
        // is goes in the description.
        static const char *const what[3] = {
            "Size of the text", "Whether the text has unsaved changes", "File"};
        m_status[i]->setAccessibleDescription(QString::fromLatin1(what[i]));
        if (i < 2)
            m_status[i]->setMinimumWidth(85); // wider where a large font needs it
        bar->addWidget(m_status[i], i < 2 ? 0 : 1);
    }
    // Short notices ("Clipboard cleared at ...") go beside the panels
    // instead of over them, and go again after ten seconds.
    m_notice = new QLabel(bar);
    m_notice->setObjectName(QStringLiteral("Notice"));
    m_notice->setAccessibleDescription(QStringLiteral("Notice"));
    bar->addPermanentWidget(m_notice);
    m_noticeClear = new QTimer(this);
    m_noticeClear->setSingleShot(true);
    m_noticeClear->setInterval(10000);
    connect(m_noticeClear, &QTimer::timeout, m_notice, &QLabel::clear);

    const QString folder = QDir::home().filePath(QStringLiteral("Velmorandquist/Encrypted"));
    m_openDialog.mode = FileRequest::Mode::Open;
    m_openDialog.title = QStringLiteral("Velmorandquist - Open File:");
    m_openDialog.defaultExt = QStringLiteral("vlq");
    m_openDialog.initialDir = folder;
    m_openDialog.filter = QStringLiteral("Velmorandquist Encripted Files (*.vlq)|*.vlq|Text Files "
                                         "(*.txt)|*.txt|All Files (*.*)|*.*");
    m_saveDialog.mode = FileRequest::Mode::Save;
    m_saveDialog.title = QStringLiteral("Velmorandquist - Save File:");
    m_saveDialog.defaultExt = QStringLiteral("vlq");
    m_saveDialog.initialDir = folder;
    m_saveDialog.filter = QStringLiteral("Velmorandquist Encripted File (*.vlq)|*.vlq|Text "
                                         "(*.txt)|*.txt|All Files (*.*)|*.*");

    m_findWindow = new FindWindow(*m_editor, this);
    m_clipboardWindow = new ClipboardWindow(this);
    m_keyPicker = new cipher::windows::KeyPicker(this);
    // What lies between the encrypted block's markers is never checked.
    const auto marker = [](std::string_view m) {
        return QString::fromLatin1(m.data(), qsizetype(m.size()));
    };
    m_spelling = new spelling::windows::SpellChecking(
        *m_editor, {marker(cipher::kBeginMarker), marker(cipher::kEndMarker)}, this);

    buildMenus();
    QList<QAbstractButton *> lettered;
    for (int i = 0; i < ToolbarRow::kButtonCount; ++i)
        lettered << m_captionRow->button(ToolbarRow::Button(i));
    m_sharedLetters = new SharedLetters(menuBar(), lettered, m_editor, this);

    QTextDocument *doc = m_editor->document();
    m_undo->setEnabled(doc->isUndoAvailable());
    m_redo->setEnabled(doc->isRedoAvailable());
    connect(doc, &QTextDocument::undoAvailable, m_undo, &QAction::setEnabled);
    connect(doc, &QTextDocument::redoAvailable, m_redo, &QAction::setEnabled);

    m_clipboardTimer = new QTimer(this);
    m_clipboardTimer->setSingleShot(true);
    connect(m_clipboardTimer, &QTimer::timeout, this, &MainWindow::clearSecretClipboard);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
        &MainWindow::clipboardChanged);
    // Selecting decrypted text is not copying it: the X11 selection, which
    // every program can read at any time unasked, does not keep it.
    connect(
        QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            QClipboard *clipboard = QGuiApplication::clipboard();
            if (mode == QClipboard::Selection && m_editor->isSecretCopy(clipboard->mimeData(mode)))
                clipboard->clear(mode);
        });
    // At the end the desktop's clipboard manager would be handed the
    // clipboard, secret or not, and keep it after the program has gone.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::clearSecretCopies);

    // The status bar and the commands follow the document.
    connect(m_editor, &RichEdit::changed, this, &MainWindow::textChanged);
    connect(m_document, &Document::modifiedChanged, this, [this](bool modified) {
        m_status[1]->setText(modified ? QStringLiteral("Modified") : QString());
    });
    connect(m_document, &Document::fileNameChanged, this, [this](const QString &fileName) {
        // Without a file the panel gives the credit again.
        m_status[2]->setText(fileName.isEmpty() ? kCredit : fileName);
    });
    connect(m_document, &Document::decryptedChanged, this, [this](bool decrypted) {
        // Saving newly decrypted text unencrypted is asked about once.
        if (decrypted)
            m_unencryptedSaveAllowed = false;
    });
    // The spell checker forgets the words of a text that has gone.
    connect(m_document, &Document::replaced, this, [this] { m_spelling->forgetText(); });
    connect(m_document, &Document::working, this,
        [this](const QString &what) { showNotice(what, true); });
    connect(m_spelling, &spelling::windows::SpellChecking::textChanged, this,
        [this] { setModified(true); });
    m_editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_editor, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        // The word under the mouse first, when it is misspelled.
        m_spelling->addSuggestions(*m_contextMenu, at);
        m_contextMenu->popup(m_editor->viewport()->mapToGlobal(at));
    });
    run([this] { m_spelling->restore(); });
    m_checkAsYouType->setChecked(m_spelling->checksAsYouType());
    m_checkAsYouType->setEnabled(m_spelling->isAvailable());

    resize(531, 408);

    // Started by startUp(), once every window the notice may open exists.
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(
        m_noticeTimer, &QTimer::timeout, this, [this] { run([this] { checkStartupNotice(); }); });
    // A failure to make the settings key is reported and start-up goes on.
    run([] { settings::ensureProgramKey(); });
}

MainWindow::~MainWindow() = default;

bool MainWindow::isModified() const
{
    return m_document->isModified();
}

bool MainWindow::holdsDecryptedText() const
{
    return m_document->isDecrypted();
}

QString MainWindow::statusText(int panel) const
{
    return m_status[panel]->text();
}

QString MainWindow::notice() const
{
    return m_notice->text();
}

QAction *MainWindow::addCommand(
    QMenu *menu, const QString &objectName, const QString &caption, void (MainWindow::*command)())
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(objectName);
    connect(a, &QAction::triggered, this,
        [this, command] { run([this, command] { (this->*command)(); }); });
    return a;
}

QAction *MainWindow::addTick(
    QMenu *menu, const QString &objectName, const QString &caption, void (MainWindow::*command)())
{
    // Qt flips the tick before the command runs; the commands read the tick
    // as it was and set it themselves, so Qt's flip is undone first.
    QAction *a = menu->addAction(caption);
    a->setObjectName(objectName);
    a->setCheckable(true);
    a->setChecked(true);
    connect(a, &QAction::triggered, this, [this, a, command] {
        a->setChecked(!a->isChecked());
        run([this, command] { (this->*command)(); });
    });
    return a;
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("New1"), QStringLiteral("&New"), &MainWindow::newDocument);
    addCommand(file, QStringLiteral("Open1"), QStringLiteral("&Open..."), &MainWindow::openFile);
    addCommand(file, QStringLiteral("SaveAs1"), QStringLiteral("&Save As..."), &MainWindow::saveAs);
    addCommand(file, QStringLiteral("Print1"), QStringLiteral("&Print..."), &MainWindow::print);
    file->addSeparator();
    addCommand(
        file, QStringLiteral("Encrypt1"), QStringLiteral("&Encrypt..."), &MainWindow::encrypt);
    addCommand(file, QStringLiteral("EncryptForRecipients1"),
        QStringLiteral("Encrypt for &Recipients..."), &MainWindow::encryptForRecipients);
    addCommand(
        file, QStringLiteral("Decrypt1"), QStringLiteral("&Decrypt..."), &MainWindow::decrypt);
    file->addSeparator();
    m_recentMenu = file->addMenu(QStringLiteral("Recent &Files"));
    m_recentMenu->setObjectName(QStringLiteral("RecentFiles"));
    // Read again each time: another copy of the program may have added one.
    connect(file, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    file->addSeparator();
    addCommand(file, QStringLiteral("Exit1"), QStringLiteral("E&xit"), &MainWindow::exit);

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    // "&Undo" and "&Redo" would take Cut's u and Replace's R.
    m_undo = addCommand(edit, QStringLiteral("Undo1"), QStringLiteral("Un&do"), &MainWindow::undo);
    m_undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redo = addCommand(edit, QStringLiteral("Redo1"), QStringLiteral("R&edo"), &MainWindow::redo);
    m_redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    edit->addSeparator();
    addCommand(edit, QStringLiteral("Cut1"), QStringLiteral("C&ut"), &MainWindow::cut);
    addCommand(edit, QStringLiteral("Copy1"), QStringLiteral("&Copy"), &MainWindow::copy);
    addCommand(edit, QStringLiteral("Paste1"), QStringLiteral("&Paste"), &MainWindow::paste);
    edit->addSeparator();
    addCommand(edit, QStringLiteral("Copyall"), QStringLiteral("Copy &All"), &MainWindow::copyAll);
    addCommand(
        edit, QStringLiteral("SelectAll1"), QStringLiteral("&Select All"), &MainWindow::selectAll);
    addCommand(edit, QStringLiteral("Clear1"), QStringLiteral("C&lear All"), &MainWindow::clearAll);
    edit->addSeparator();
    // Fixed keys: the desktop's standard Replace key is Ctrl+R or none on
    // some desktops. The find window answers them too, so the user can go
    // from Find to Replace without going back to the editor.
    QAction *findAction =
        addCommand(edit, QStringLiteral("Find1"), QStringLiteral("&Find..."), &MainWindow::find);
    findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction *findNextAction = addCommand(
        edit, QStringLiteral("FindNext1"), QStringLiteral("Find &Next"), &MainWindow::findNext);
    findNextAction->setShortcut(QKeySequence(Qt::Key_F3));
    QAction *replaceAction = addCommand(
        edit, QStringLiteral("Replace1"), QStringLiteral("&Replace..."), &MainWindow::replace);
    replaceAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    m_findWindow->addActions({findAction, findNextAction, replaceAction});

    QMenu *tools = bar->addMenu(QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("SpellCheck1"), QStringLiteral("&Spell Check..."),
        &MainWindow::spellCheck);
    addCommand(
        tools, QStringLiteral("WipeFile1"), QStringLiteral("&Wipe File..."), &MainWindow::wipeFile);

    QMenu *mail = bar->addMenu(QStringLiteral("M&ail"));
    addCommand(mail, QStringLiteral("Send1"), QStringLiteral("Send Quick &Mail..."),
        &MainWindow::sendQuickMail);
    addCommand(mail, QStringLiteral("SendMAPIMail1"), QStringLiteral("&Send MAPI Mail..."),
        &MainWindow::sendMapiMail);
    addCommand(mail, QStringLiteral("MailPreferances1"), QStringLiteral("Mail &Preferances..."),
        &MainWindow::mailPreferences);

    QMenu *options = bar->addMenu(QStringLiteral("&Options"));
    m_showToolBar = addTick(options, QStringLiteral("ShowToolBar1"),
        QStringLiteral("&Show Tool Bar"), &MainWindow::toggleToolBar);
    m_showButtonText = addTick(options, QStringLiteral("ShowButtonText1"),
        QStringLiteral("Show Button &Text"), &MainWindow::toggleButtonText);
    options->addSeparator();
    m_wordWrap = addTick(options, QStringLiteral("WordWrap1"), QStringLiteral("&Word Wrap"),
        &MainWindow::toggleWordWrap);
    m_checkAsYouType = addTick(options, QStringLiteral("CheckAsYouType1"),
        QStringLiteral("Check Spelling as You T&ype"), &MainWindow::toggleCheckAsYouType);
    options->addSeparator();
    addCommand(
        options, QStringLiteral("Colors1"), QStringLiteral("&Font..."), &MainWindow::chooseFont);
    addCommand(options, QStringLiteral("Color1"), QStringLiteral("Background &Color..."),
        &MainWindow::chooseBackground);
    options->addSeparator();
    addCommand(options, QStringLiteral("ClearClipboard1"),
        QStringLiteral("Clear Clip&board After..."), &MainWindow::chooseClipboardDelay);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("N1"), QStringLiteral("H&elp..."), &MainWindow::help);
    addCommand(help, QStringLiteral("About1"), QStringLiteral("&About..."), &MainWindow::about);

    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("PopupMenu1"));
    const auto item = [this](const QString &caption, void (MainWindow::*command)()) {
        m_contextMenu->addAction(
            caption, this, [this, command] { run([this, command] { (this->*command)(); }); });
    };
    item(QStringLiteral("&Cut"), &MainWindow::cut);
    item(QStringLiteral("C&opy"), &MainWindow::copy);
    item(QStringLiteral("&Paste"), &MainWindow::paste);
    m_contextMenu->addSeparator();
    item(QStringLiteral("Copy &All"), &MainWindow::copyAll);
    item(QStringLiteral("&Select All"), &MainWindow::selectAll);
    item(QStringLiteral("C&lear All"), &MainWindow::clearAll);
    m_contextMenu->addSeparator();
    item(QStringLiteral("&Encrypt"), &MainWindow::encrypt);
    item(QStringLiteral("Encrypt for &Recipients..."), &MainWindow::encryptForRecipients);
    item(QStringLiteral("&Decrypt"), &MainWindow::decrypt);
}

void MainWindow::toolbarPressed(ToolbarRow::Button which)
{
    // Button k of one row runs the same command as button k of the other.
    static constexpr void (MainWindow::*commands[ToolbarRow::kButtonCount])() = {
        &MainWindow::newFromToolbar,
        &MainWindow::openFile,
        &MainWindow::saveAs,
        &MainWindow::copyAll,
        &MainWindow::paste,
        &MainWindow::encrypt,
        &MainWindow::decrypt,
        &MainWindow::quickMailButton,
    };
    const auto command = commands[which];
    // A button reached by its letter holds the focus; the document gets it
    // back once the command is done.
    const bool fromKeyboard = focusWidget() && qobject_cast<QAbstractButton *>(focusWidget());
    run([this, command] { (this->*command)(); });
    if (fromKeyboard)
        m_editor->setFocus();
}

void MainWindow::run(const std::function<void()> &command)
{
    guarded(command);
}

// --- The document's state ----------------------------------------------------

void MainWindow::textChanged()
{
    const qint64 n = m_editor->byteCount();
    const bool marker = m_editor->containsMarker();
    for (ToolbarRow *row : {m_captionRow, m_pictureRow}) {
        row->button(ToolbarRow::Encrypt)->setEnabled(n != 0);
        row->button(ToolbarRow::Decrypt)->setEnabled(marker);
    }
    m_status[0]->setText(QStringLiteral("%1 bytes").arg(n));
}

void MainWindow::setModified(bool modified)
{
    m_document->setModified(modified);
}

bool MainWindow::askSaveChanges()
{
    if (!m_document->isModified())
        return true;
    if (messageBox(QStringLiteral("Do you want to save changes to current file?"),
            QStringLiteral("SAVE CHANGES?"), Icon::Warning, Buttons::YesNo)
        != Answer::Yes)
        return true;
    // Cancelling the save after Yes keeps the text: the command stops here;
    // so does a No to saving decrypted text unencrypted.
    if (!allowUnencryptedSave() || !m_saveDialog.execute())
        return false;
    saveDocument(m_saveDialog.fileName);
    return true;
}

void MainWindow::saveDocument(const QString &fileName)
{
    // Decrypted text is for the user's eyes only: the file is readable by
    // the user alone, and its name stays out of the recent files, which
    // others may see in the settings or over the user's shoulder.
    if (m_document->save(fileName)) {
        messageBox(QStringLiteral("%1 could be read by other users. As it now holds decrypted "
                                  "text, only you can read it from now on.")
                       .arg(fileName),
            applicationTitle(), Icon::Information);
    }
    if (m_document->isDecrypted())
        forgetFile(fileName);
    else
        rememberFile(fileName);
}

bool MainWindow::allowUnencryptedSave()
{
    if (!m_document->isDecrypted() || m_unencryptedSaveAllowed)
        return true;
    // Enter and Escape keep the secret off the disk.
    m_unencryptedSaveAllowed =
        messageBox(QStringLiteral("This text was decrypted: saving it writes it to the file "
                                  "unencrypted.\nDo you want to save it unencrypted?"),
            QStringLiteral("WARNING"), Icon::Warning, Buttons::YesNo, Answer::No)
        == Answer::Yes;
    return m_unencryptedSaveAllowed;
}

// --- File commands -------------------------------------------------------------

void MainWindow::newDocument()
{
    if (!askSaveChanges())
        return;
    setModified(false);
    m_document->clear();
}

void MainWindow::newFromToolbar()
{
    // File > New leaves the file's name in the status bar; the buttons and
    // Clear All give the credit back.
    if (!askSaveChanges())
        return;
    setModified(false);
    m_document->clear();
    m_document->setFileName({});
}

void MainWindow::clearAll()
{
    newFromToolbar();
}

void MainWindow::openFile()
{
    if (!askSaveChanges())
        return;
    setModified(false);
    if (!m_openDialog.execute())
        return;
    loadDocument(m_openDialog.fileName);
}

void MainWindow::loadDocument(const QString &fileName)
{
    m_document->load(fileName);
    rememberFile(fileName);
}

void MainWindow::saveAs()
{
    if (!allowUnencryptedSave() || !m_saveDialog.execute())
        return;
    saveDocument(m_saveDialog.fileName);
    setModified(false);
    m_document->setFileName(m_saveDialog.fileName);
}

// --- Recent files ----------------------------------------------------------------

void MainWindow::rememberFile(const QString &fileName)
{
    // The list is a convenience: a store the user made read-only keeps it
    // as it was, without a box at every open and save.
    try {
        const QString path = QFileInfo(fileName).absoluteFilePath();
        QStringList files = settings::readRecentFiles();
        files.removeAll(path);
        files.prepend(path);
        settings::writeRecentFiles(files.mid(0, settings::kRecentFileCount));
    } catch (const settings::Error &) { }
}

void MainWindow::forgetFile(const QString &fileName)
{
    try {
        QStringList files = settings::readRecentFiles();
        if (files.removeAll(QFileInfo(fileName).absoluteFilePath()) > 0)
            settings::writeRecentFiles(files);
    } catch (const settings::Error &) { }
}

void MainWindow::fillRecentMenu()
{
    QStringList files;
    try {
        files = settings::readRecentFiles();
    } catch (const settings::Error &) { }
    m_recentMenu->clear();
    for (int i = 0; i < files.size(); ++i) {
        QString caption = files[i];
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *a = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(caption));
        a->setObjectName(QStringLiteral("Recent%1").arg(i + 1));
        connect(a, &QAction::triggered, this, [this, i] { run([this, i] { openRecentFile(i); }); });
    }
    m_recentMenu->addSeparator();
    QAction *clear = m_recentMenu->addAction(QStringLiteral("&Clear"));
    clear->setObjectName(QStringLiteral("ClearRecent"));
    clear->setEnabled(!files.isEmpty());
    connect(clear, &QAction::triggered, this, [this] { run([this] { clearRecentFiles(); }); });
}

void MainWindow::openRecentFile(int index)
{
    QStringList files = settings::readRecentFiles();
    if (index < 0 || index >= files.size())
        return;
    const QString fileName = files[index];
    if (!QFileInfo::exists(fileName)) {
        files.removeAt(index);
        settings::writeRecentFiles(files);
        fillRecentMenu();
        showError(QStringLiteral("%1 no longer exists. It has been removed from Recent Files")
                      .arg(fileName));
        return;
    }
    openNamedFile(fileName);
}

void MainWindow::openNamedFile(const QString &fileName)
{
    if (!askSaveChanges())
        return;
    setModified(false);
    loadDocument(fileName);
}

void MainWindow::clearRecentFiles()
{
    settings::writeRecentFiles({});
    fillRecentMenu();
}

// --- Dropped files ---------------------------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString fileName = droppedFile(event->mimeData());
    if (fileName.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: the save question must not hold up the
    // program the file came from.
    QMetaObject::invokeMethod(
        this, [this, fileName] { run([this, fileName] { openNamedFile(fileName); }); },
        Qt::QueuedConnection);
}

void MainWindow::print()
{
    // One printer for the run, so the dialog shows the printer and options
    // chosen last time.
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!modal().printDialog(*m_printer, QString()))
        return;
    printDocument(*m_editor, *m_printer);
}

// The dialogs collect the password; the document does the rest.
void MainWindow::encrypt()
{
    m_peers.encryptDialog().showModal();
    // The cipher's locals on this thread held password and text.
    cipher::wipeStack();
}

void MainWindow::decrypt()
{
    using namespace cipher::service;
    const std::optional<Document::Target> target = m_document->decryptTarget();
    if (!target || target->block.kind != Kind::OpenPgp) {
        m_peers.decryptDialog().showModal();
    } else if (target->requirement.problem.verdict != Verdict::Good) {
        // GnuPG missing, or a message it cannot read at all.
        cipher::service::Result unreadable;
        unreadable.told.push_back(target->requirement.problem);
        cipher::windows::tell(unreadable);
    } else if (target->requirement.needs == Needs::Password) {
        // Said before anything is asked.
        showNotice(QStringLiteral("OpenPGP message for a password"));
        m_peers.decryptDialog().showModal();
    } else {
        QStringList keys;
        QString yours;
        for (const cipher::openpgp::Recipient &r : target->requirement.recipients) {
            if (r.secretKeyHeld && yours.isEmpty())
                yours = QString::fromStdString(r.userId.empty() ? r.keyId : r.userId);
            keys << (r.userId.empty()
                    ? QString::fromStdString(r.keyId)
                    : QStringLiteral("%1 (%2)").arg(
                        QString::fromStdString(r.keyId), QString::fromStdString(r.userId)));
        }
        if (keys.isEmpty()) {
            // Only signed: nothing to ask, the signature is checked.
            cipher::windows::tell(m_document->decrypt(QString()));
        } else if (yours.isEmpty()) {
            messageBox(QStringLiteral("This message was encrypted for keys you do not have:\n%1\n"
                                      "Only their holders can decrypt it.")
                           .arg(keys.join(QLatin1Char('\n'))),
                QStringLiteral("WARNING"), gui::Icon::Warning);
        } else {
            showNotice(QStringLiteral("OpenPGP message for your key %1").arg(yours), true);
            // GnuPG's own prompt asks for the key's passphrase.
            cipher::windows::tell(m_document->decrypt(QString()));
            showNotice({});
        }
    }
    const Signature signature = m_document->lastSignature();
    switch (signature.status) {
    case Signature::Status::None:
        break;
    case Signature::Status::Good:
        showNotice(
            QStringLiteral("Good signature by %1").arg(QString::fromStdString(signature.signer)),
            true);
        break;
    case Signature::Status::Bad:
        showNotice(QStringLiteral("BAD signature: the text is not what %1 signed")
                       .arg(QString::fromStdString(signature.signer)),
            true);
        break;
    case Signature::Status::UnknownKey:
        showNotice(QStringLiteral("Signed by %1, a key you do not have: not verified")
                       .arg(QString::fromStdString(signature.signer)),
            true);
        break;
    }
    cipher::wipeStack();
}

void MainWindow::encryptForRecipients()
{
    std::string why;
    if (!cipher::openpgp::available(&why)) {
        messageBox(QStringLiteral("OpenPGP cannot be used: %1.").arg(QString::fromStdString(why)),
            QStringLiteral("ERROR"), Icon::Warning);
        return;
    }
    const Document::Keys keys = m_document->keys();
    m_keyPicker->setKeys(keys.all, keys.own);
    if (!m_keyPicker->choose())
        return;
    cipher::windows::tell(m_document->encryptFor(m_keyPicker->recipients()));
    cipher::wipeStack();
}

void MainWindow::showNotice(const QString &text, bool stays)
{
    m_noticeClear->stop();
    m_notice->setText(text);
    if (!stays && !text.isEmpty())
        m_noticeClear->start();
}

void MainWindow::exit()
{
    close();
}

// --- Edit commands -------------------------------------------------------------

void MainWindow::cut()
{
    m_editor->cut();
}

void MainWindow::copy()
{
    m_editor->copy();
}

void MainWindow::paste()
{
    m_editor->paste();
}

void MainWindow::copyAll()
{
    selectAll();
    m_editor->copy();
}

void MainWindow::selectAll()
{
    m_editor->setFocus();
    m_editor->selectAll();
}

void MainWindow::undo()
{
    m_editor->undo();
}

void MainWindow::redo()
{
    m_editor->redo();
}

void MainWindow::find()
{
    m_findWindow->showFind();
}

void MainWindow::findNext()
{
    if (m_findWindow->findText().isEmpty())
        m_findWindow->showFind();
    else
        m_findWindow->findNext();
}

void MainWindow::replace()
{
    m_findWindow->showReplace();
}

// --- The clipboard after Decrypt --------------------------------------------

void MainWindow::clipboardChanged()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || data != m_editor->lastSecretCopy())
        return;
    int seconds = settings::kDefaultClipboardDelay;
    try {
        seconds = settings::readClipboardDelay();
    } catch (const settings::Error &) { }
    m_clipboardTimer->stop();
    m_secretClipDigest = digest(data->text());
    if (seconds > 0)
        m_clipboardTimer->start(std::chrono::seconds(seconds));
}

void MainWindow::clearSecretClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *data = clipboard->mimeData();
    // Only what was copied goes: whatever came after it stays.
    if (!data || data->data(RichEdit::secretHintFormat()) != RichEdit::secretHintValue()
        || digest(data->text()) != m_secretClipDigest)
        return;
    clipboard->clear();
    m_secretClipDigest.clear();
    // Beside the panels, which stay in view.
    showNotice(QStringLiteral("Clipboard cleared at %1.")
                   .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void MainWindow::clearSecretCopies()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (const QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
        if (m_editor->isSecretCopy(clipboard->mimeData(mode)))
            clipboard->clear(mode);
    }
    m_clipboardTimer->stop();
    m_secretClipDigest.clear();
}

void MainWindow::chooseClipboardDelay()
{
    m_clipboardWindow->choose();
}

// --- Tools, mail, help -------------------------------------------------------

void MainWindow::spellCheck()
{
    // Without a dictionary there is nothing to check with.
    if (!m_spelling->isAvailable()) {
        messageBox(
            QStringLiteral("Spell check will be working in\nthe next build of Velmorandquist."),
            applicationTitle(), Icon::None);
        return;
    }
    m_spelling->spellCheck();
}

void MainWindow::wipeFile()
{
    m_peers.wipeWindow().showModal();
}

void MainWindow::sendQuickMail()
{
    m_peers.composer().showModal();
}

void MainWindow::sendMapiMail()
{
    // The text as its lines, each ended by CR LF.
    QString text = m_editor->characters();
    if (!text.isEmpty())
        text += QStringLiteral("\r\n");
    m_systemMail.send(text);
}

void MainWindow::mailPreferences()
{
    m_peers.mailPreferences().showModal();
}

void MainWindow::quickMailButton()
{
    switch (m_peers.mailPreferences().mode()) {
    case mail::windows::MailMode::ExternalProgram:
        mail::windows::startExternalProgram(m_peers.mailPreferences().programPath());
        break;
    case mail::windows::MailMode::QuickMail:
        sendQuickMail();
        break;
    case mail::windows::MailMode::SystemMail:
        sendMapiMail();
        break;
    }
}

void MainWindow::help()
{
    // The program's own help page, in a window of its own that does not
    // block this one; nothing is reported when it cannot be shown.
    showHelp();
}

void MainWindow::about()
{
    m_peers.aboutWindow().showModal();
}

// --- View options ------------------------------------------------------------

void MainWindow::toggleToolBar()
{
    if (m_showToolBar->isChecked()) {
        m_pictureRow->hide();
        m_captionRow->hide();
        m_showToolBar->setChecked(false);
    } else {
        if (m_showButtonText->isChecked())
            m_captionRow->show();
        else
            m_pictureRow->show();
        m_showToolBar->setChecked(true);
    }
}

void MainWindow::toggleButtonText()
{
    if (m_showButtonText->isChecked()) {
        if (m_showToolBar->isChecked()) {
            m_captionRow->hide();
            m_pictureRow->show();
        }
        m_showButtonText->setChecked(false);
    } else {
        if (m_showToolBar->isChecked()) {
            m_pictureRow->hide();
            m_captionRow->show();
        }
        m_showButtonText->setChecked(true);
    }
}

void MainWindow::toggleWordWrap()
{
    const bool on = !m_wordWrap->isChecked();
    m_editor->setWordWrap(on);
    m_wordWrap->setChecked(on);
}

void MainWindow::toggleCheckAsYouType()
{
    const bool on = !m_checkAsYouType->isChecked();
    m_checkAsYouType->setChecked(on);
    m_spelling->setChecksAsYouType(on);
}

void MainWindow::chooseFont()
{
    if (!m_fontDialog.execute())
        return;
    // The chosen font becomes the default character format: text without a
    // format of its own shows in it.
    m_editor->setDefaultFormat(m_fontDialog.font.font, m_fontDialog.font.color);
}

void MainWindow::chooseBackground()
{
    if (!m_colorDialog.execute())
        return;
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Base, m_colorDialog.color);
    m_editor->setPalette(palette);
}

// --- Window events -------------------------------------------------------------

void MainWindow::checkStartupNotice()
{
    // Once per start.
    m_noticeTimer->stop();
    m_startKey = settings::readStartKey();
    if (!m_startKey.contains(QLatin1String("no")))
        m_peers.noticeWindow().showModal();
}

void MainWindow::startUp()
{
    if (m_startedUp)
        return;
    m_startedUp = true;
    if (!m_file.isEmpty()) {
        run([this] {
            m_document->load(m_file);
            rememberFile(m_file);
        });
    }
    // Still about a second after creation when the file loaded at once; at
    // once when its error box was open longer.
    if (m_noticeDelayMs >= 0) {
        m_noticeTimer->start(int(qMax<qint64>(0, m_noticeDelayMs - m_sinceCreation.elapsed())));
    }
}

void MainWindow::onActivate()
{
    m_editor->setFocus();
}

bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && becomesActiveForm(this))
        onActivate();
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The document is not taken from under Encrypt or Decrypt at work.
    if (m_document->isBusy()) {
        event->ignore();
        return;
    }
    bool goOn = false;
    // A failed save, or a save dialog cancelled after Yes, keeps the window
    // open, so the text is not lost.
    if (!guarded([&] { goOn = askSaveChanges(); }) || !goOn) {
        event->ignore();
        return;
    }
    clearSecretCopies();
    event->accept();
}

void MainWindow::showEvent(QShowEvent *event)
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

} // namespace editor
