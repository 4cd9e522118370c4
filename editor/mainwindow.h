#pragma once

// The main window (TForm1): the one document (the text of its editor), every
// command of the menus, the context menu and the two toolbar rows, and the
// status bar.

#include "editor/toolbarrow.h"
#include "gui/standarddialogs.h"
#include "mail/windows/dispatch.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QTimer;

namespace gui {
class Form;
class RichEdit;
} // namespace gui

namespace mail::windows {
class ComposerWindow;
class PreferencesWindow;
} // namespace mail::windows

namespace cipher::windows {
class KeyPicker;
}

namespace spelling::windows {
class SpellChecking;
}

namespace editor {

class ClipboardWindow;
class Document;
class FindWindow;
class SharedLetters;

// The windows the main window opens. They are made after it, in the program's
// order of creation, so it is handed where to find them when it needs them.
class PeerWindows
{
public:
    virtual ~PeerWindows() = default;
    virtual gui::Form &encryptDialog() = 0;
    virtual gui::Form &decryptDialog() = 0;
    virtual gui::Form &noticeWindow() = 0;
    virtual gui::Form &aboutWindow() = 0;
    virtual gui::Form &wipeWindow() = 0;
    virtual mail::windows::PreferencesWindow &mailPreferences() = 0;
    virtual mail::windows::ComposerWindow &composer() = 0;
};

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // file: the one named on the command line, empty for none. The start-up
    // notice check runs noticeDelayMs after creation; a negative delay never.
    MainWindow(const QString &file, PeerWindows &peers, int noticeDelayMs = 1000,
        QWidget *parent = nullptr);
    ~MainWindow() override;

    gui::RichEdit &editor() const { return *m_editor; }
    Document &document() const { return *m_document; }
    // Whether the document is marked modified (the second panel says so).
    bool isModified() const;
    // The text of status panel 0 (bytes), 1 ("Modified") or 2 (file, credit).
    QString statusText(int panel) const;
    // The row with captions (Panel3) and the row without (Panel1).
    ToolbarRow &captionRow() const { return *m_captionRow; }
    ToolbarRow &pictureRow() const { return *m_pictureRow; }
    spelling::windows::SpellChecking &spelling() const { return *m_spelling; }
    // What the start-up notice check read from the store, once it ran.
    const QString &startKey() const { return m_startKey; }
    QTimer &noticeTimer() const { return *m_noticeTimer; }
    bool hasStartedUp() const { return m_startedUp; }
    FindWindow &findWindow() const { return *m_findWindow; }
    ClipboardWindow &clipboardWindow() const { return *m_clipboardWindow; }
    // Whether the document holds text that Decrypt gave and that was not
    // encrypted again since: its copies are secret, its saves ask first.
    bool holdsDecryptedText() const;
    // Clears the clipboard when it still holds the last secret copy.
    QTimer &clipboardTimer() const { return *m_clipboardTimer; }
    // The short notice beside the status panels, empty when there is none.
    QString notice() const;

    // --- Commands: each one handler, shared by its menu entries and buttons.
    // The save question; false when the user chose to save and then
    // cancelled the save dialog, so the command must stop.
    bool askSaveChanges();
    void newDocument(); // File > New
    void newFromToolbar(); // the New buttons, which also restore the credit
    void clearAll();
    void openFile();
    void saveAs();
    void print();
    void encrypt();
    // Encrypt for Recipients...: an OpenPGP message for keys chosen in the
    // key picker.
    void encryptForRecipients();
    // The block at the caret, or the first: a password is asked for in the
    // decrypt dialog; an OpenPGP message for keys is opened by GnuPG, whose
    // own prompt asks for the key's passphrase, or refused with the keys it
    // needs when the user holds none of them.
    void decrypt();
    void exit();
    void cut();
    void copy();
    void paste();
    void copyAll();
    void selectAll();
    void undo();
    void redo();
    void find();
    void findNext(); // F3: the last text looked for, else the find window
    void replace();
    // File > Recent Files: the entry of the given index (0 the newest).
    void openRecentFile(int index);
    void clearRecentFiles();
    // Options > Clear Clipboard After...
    void chooseClipboardDelay();
    void spellCheck();
    void wipeFile();
    void sendQuickMail();
    void sendMapiMail();
    void mailPreferences();
    void quickMailButton(); // the Quick Mail buttons, by the mail mode
    void toggleToolBar();
    void toggleButtonText();
    void toggleWordWrap();
    void toggleCheckAsYouType();
    void chooseFont();
    void chooseBackground();
    void help();
    void about();

    // What waits for every window to exist, run once on the first turn of
    // the event loop: the command-line file (an error box over this window),
    // then the start-up notice's timer.
    void startUp();

    // Runs a command as the handlers do: a failure shows the error box.
    void run(const std::function<void()> &command);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    QAction *addCommand(QMenu *menu, const QString &objectName, const QString &caption,
        void (MainWindow::*command)());
    QAction *addTick(QMenu *menu, const QString &objectName, const QString &caption,
        void (MainWindow::*command)());
    void toolbarPressed(ToolbarRow::Button which);
    void setModified(bool modified);
    // Open's steps after its dialog, for a file chosen there, in the recent
    // files or dropped on the window.
    void loadDocument(const QString &fileName);
    // Open without its dialog: the save question, then the file.
    void openNamedFile(const QString &fileName);
    // Before a save: false when the document holds decrypted text and the
    // user, asked once per document, will not save it unencrypted.
    bool allowUnencryptedSave();
    // Save As's and the save question's writing of the file.
    void saveDocument(const QString &fileName);
    // The file goes to the front of the recent files, or out of them.
    void rememberFile(const QString &fileName);
    void forgetFile(const QString &fileName);
    void fillRecentMenu();
    void clipboardChanged();
    void clearSecretClipboard();
    // Takes every secret copy out of the clipboard and the X11 selection at
    // once (at the end of the program).
    void clearSecretCopies();
    void checkStartupNotice();
    // A short notice beside the status panels; gone after ten seconds
    // unless it is to stay.
    void showNotice(const QString &text, bool stays = false);
    void textChanged();
    void onActivate();

    PeerWindows &m_peers;
    QString m_file;
    int m_noticeDelayMs;
    QElapsedTimer m_sinceCreation;
    gui::RichEdit *m_editor;
    Document *m_document;
    ToolbarRow *m_captionRow;
    ToolbarRow *m_pictureRow;
    QLabel *m_status[3];
    QLabel *m_notice;
    QTimer *m_noticeClear;
    QMenu *m_contextMenu;
    QAction *m_showToolBar;
    QAction *m_showButtonText;
    QAction *m_wordWrap;
    QAction *m_undo;
    QAction *m_redo;
    QMenu *m_recentMenu;
    FindWindow *m_findWindow;
    cipher::windows::KeyPicker *m_keyPicker;
    ClipboardWindow *m_clipboardWindow;
    SharedLetters *m_sharedLetters;
    QTimer *m_clipboardTimer;
    // A digest of the secret copy's text, to know it again when the timer
    // runs out; the text itself is not kept twice.
    QByteArray m_secretClipDigest;
    QAction *m_checkAsYouType;
    spelling::windows::SpellChecking *m_spelling;
    QTimer *m_noticeTimer;
    QString m_startKey;

    gui::FileDialog m_openDialog;
    gui::FileDialog m_saveDialog;
    gui::FontDialog m_fontDialog;
    gui::ColorDialog m_colorDialog;

    std::unique_ptr<QPrinter> m_printer;
    mail::windows::SystemMail m_systemMail;

    bool m_unencryptedSaveAllowed = false;
    bool m_startedUp = false;
    bool m_sized = false;
};

} // namespace editor
