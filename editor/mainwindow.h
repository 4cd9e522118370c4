#pragma once

// The main window: the one document (the text of RichEdit1), every command
// of the menus, the context menu and the two toolbar rows, and the status bar.

#include "platform/dialogs.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QTimer;

namespace platform {
class Form;
class RichEdit;
} // namespace platform

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    // arguments: the command line without the program's name; noticeTimer:
    // whether Timer1 runs the start-up notice check.
    explicit TForm1(
        const QStringList &arguments, bool noticeTimer = true, QWidget *parent = nullptr);
    ~TForm1() override;

    // --- Controls -----------------------------------------------------------
    QFrame *Panel2; // the 2-pixel strip
    QFrame *Panel3; // toolbar row with captions
    QFrame *Panel1; // toolbar row without captions
    QList<QAbstractButton *> Panel3Buttons; // New, Open, Save, Copy All, Paste,
    QList<QAbstractButton *> Panel1Buttons; // Encrypt, Decrypt, Quick Mail
    platform::RichEdit *RichEdit1;
    QLabel *StatusPanel[3];
    QLineEdit *regno; // hidden; receives the start-up notice setting
    QTimer *Timer1;

    QMenu *PopupMenu1;
    QAction *New1, *Open1, *SaveAs1, *Print1, *Encrypt1, *Decrypt1, *Exit1;
    QAction *Cut1, *Copy1, *Paste1, *Copyall, *SelectAll1, *Clear1;
    QAction *SpellCheck1, *WipeFile1;
    QAction *Send1, *SendMAPIMail1, *MailPreferances1;
    QAction *ShowToolBar1, *ShowButtonText1, *WordWrap1, *Colors1, *Color1;
    QAction *N1, *About1;

    platform::FileDialog OpenDialog1;
    platform::FileDialog SaveDialog1;
    platform::FontDialog FontDialog1;
    platform::ColorDialog ColorDialog1;

    bool DocModified = false;

    // The windows this one opens, set by the program when it creates them.
    platform::Form *Form2 = nullptr; // encrypt
    platform::Form *Form3 = nullptr; // decrypt
    platform::Form *Form4 = nullptr; // start-up notice
    platform::Form *Form6 = nullptr; // about
    platform::Form *Form7 = nullptr; // wipe file
    platform::Form *Form9 = nullptr; // quick mail composer
    platform::Form *Form10 = nullptr; // mail preferences

    // The toolbar buttons, by their place in a row.
    enum ToolButton {
        TbNew,
        TbOpen,
        TbSave,
        TbCopyAll,
        TbPaste,
        TbEncrypt,
        TbDecrypt,
        TbQuickMail
    };
    // Fills a toolbar row with its eight buttons (images, and captions when
    // asked), each running its command; the row's old buttons go.
    QList<QAbstractButton *> populateToolbarRow(QFrame *row, bool captions, int buttonHeight);

    // --- Commands (each is one handler, shared by its menu entries and buttons)
    bool AskSaveChanges();
    void New1Click();
    void ExplorerButton8Click();
    void Clear1Click();
    void Button1Click(); // Open
    void Button2Click(); // Save As
    void Print1Click();
    void Button3Click(); // Encrypt
    void Button4Click(); // Decrypt
    void Exit1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void CopyallClick();
    void SelectAll1Click();
    void SpellCheck1Click();
    void WipeFile1Click();
    void Send1Click();
    void SendMAPIMail1Click();
    void MailPreferances1Click();
    void ExplorerButton7Click();
    void ShowToolBar1Click();
    void ShowButtonText1Click();
    void WordWrap1Click();
    void Colors1Click();
    void Color1Click();
    void N1Click();
    void About1Click();

    void FormCreate();
    void Timer1Timer();
    void RichEdit1Change();
    void RichEdit1SelectionChange();
    void FormActivate();

    // Lays the document out on the printer's printable area, page by page.
    static void printDocument(const platform::RichEdit &editor, QPrinter &printer);

    // Runs a command as the handlers do: a failure shows the error box.
    void run(const std::function<void()> &command);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildMenus();
    void buildToolbars();
    QAction *action(QMenu *menu, const QString &caption, void (TForm1::*handler)());

    QStringList m_arguments;
    bool m_activated = false;
    bool m_sized = false;
};
