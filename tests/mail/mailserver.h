#pragma once

// The mail tests' and the mail benchmark's real SMTP server: Debian's aiosmtpd
// run by tests/mail/smtpserver.py on a free port of 127.0.0.1, with the
// options of one fault or requirement. It stops when the object goes.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <stdexcept>

namespace testsupport {

class MailServer
{
public:
    explicit MailServer(const QStringList &options = {})
    {
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments(
            QStringList {QStringLiteral(VLQ_SOURCE_DIR "/tests/mail/smtpserver.py"),
                QStringLiteral("--store"), m_store.path()}
            + options);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        // It says its port once it listens.
        while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning)
            m_process.waitForReadyRead(100);
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith("PORT "))
            throw std::runtime_error("the test mail server did not start (python3-aiosmtpd?)");
        m_port = line.mid(5).toInt();
    }
    ~MailServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    MailServer(const MailServer &) = delete;
    MailServer &operator=(const MailServer &) = delete;

    int port() const { return m_port; }
    // The text a mail preference would hold.
    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    // Every message taken so far, in order, as the server recorded it.
    QList<QJsonObject> messages() const
    {
        QList<QJsonObject> result;
        const QDir dir(m_store.path());
        for (const QString &name :
            dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                result += QJsonDocument::fromJson(f.readAll()).object();
        }
        return result;
    }

private:
    QTemporaryDir m_store;
    QProcess m_process;
    int m_port = 0;
};

// A self-signed certificate NAME.pem with its key NAME.key in dir, for the
// subject alternative name ("IP:127.0.0.1"); false, with the tool's output
// shown, when openssl fails.
inline bool makeCertificate(const QString &dir, const QString &name, const QString &altName)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    const auto a = [](const char *text) { return QString::fromLatin1(text); };
    p.start(a("openssl"),
        {a("req"), a("-x509"), a("-newkey"), a("ec"), a("-pkeyopt"),
            a("ec_paramgen_curve:prime256v1"), a("-nodes"), a("-keyout"), name + a(".key"),
            a("-out"), name + a(".pem"), a("-days"), a("2"), a("-subj"), a("/CN=Test ") + name,
            a("-addext"), a("subjectAltName=") + altName});
    p.waitForFinished();
    const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        qWarning("%s", p.readAll().constData());
    return ok;
}

} // namespace testsupport
