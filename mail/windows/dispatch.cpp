#include "mail/windows/dispatch.h"

#include "gui/modal.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace mail::windows {

QString SystemMail::link(const QString &body)
{
    return QStringLiteral("mailto:?body=") + QString::fromLatin1(QUrl::toPercentEncoding(body));
}

void SystemMail::send(const QString &text)
{
    if (m_opener.isEmpty())
        m_opener = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    QString url = link(text);
    const bool tooLong = url.size() > kLongestLink;
    if (tooLong) {
        QGuiApplication::clipboard()->setText(text);
        url = link(QString());
    }
    const bool opened = (!m_opener.isEmpty() && gui::modal().startDetached(m_opener, {url}))
        || gui::modal().openUrl(QUrl(url));
    if (!tooLong)
        return;
    // Said once the outcome is known: there may be no message to paste into.
    gui::messageBox(opened
            ? QStringLiteral("The text is too long to hand to the mail program. It is on the "
                             "clipboard: paste it into the new message.")
            : QStringLiteral("The text is too long to hand to a mail program, and no mail "
                             "program could be opened. The text is on the clipboard."),
        gui::applicationTitle(), gui::Icon::Information);
}

void startExternalProgram(const QString &commandLine)
{
    const QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty())
        return;
    gui::modal().startDetached(words.first(), words.mid(1));
}

} // namespace mail::windows
