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
    if (url.size() > kLongestLink) {
        QGuiApplication::clipboard()->setText(text);
        gui::messageBox(QStringLiteral("The text is too long to hand to the mail program. It is "
                                       "on the clipboard: paste it into the new message."),
            gui::applicationTitle(), gui::Icon::Information);
        url = link(QString());
    }
    if (!m_opener.isEmpty() && gui::modal().startDetached(m_opener, {url}))
        return;
    gui::modal().openUrl(QUrl(url));
}

void startExternalProgram(const QString &commandLine)
{
    const QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty())
        return;
    gui::modal().startDetached(words.first(), words.mid(1));
}

} // namespace mail::windows
