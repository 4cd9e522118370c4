#pragma once

// The program's help window: its own page, in a window of its own beside the
// other windows, never blocking them nor blocked by them. Escape closes it.

#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace gui {

class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(const QUrl &page, QWidget *parent = nullptr);

    QTextBrowser *browser() const { return m_browser; }

    // The program's one help window, once showHelp() has made it.
    static HelpWindow *instance();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QTextBrowser *m_browser;
    bool m_placed = false;
};

// Help > Help...: shows the help window, made on first use, and brings it to
// the front; from a modal window it takes input beside that window. Returns at once; a page that
// cannot be loaded leaves the window empty and is not reported.
void showHelp();

} // namespace gui
