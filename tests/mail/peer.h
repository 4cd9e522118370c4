#pragma once

// A scripted SMTP peer inside the test on 127.0.0.1, for exchanges a real
// server does not make on demand.

#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

// Sends its greeting to whoever connects, then one scripted reply for every
// line it receives.
class Peer : public QObject
{
public:
    explicit Peer(const QByteArray &greeting = {}, const QList<QByteArray> &replies = {})
        : m_greeting(greeting)
        , m_replies(replies)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = m_server.nextPendingConnection();
            s->write(m_greeting);
            connect(s, &QIODevice::readyRead, this, [this, s] {
                while (s->canReadLine()) {
                    received += s->readLine();
                    if (!m_replies.isEmpty())
                        s->write(m_replies.takeFirst());
                }
            });
        });
    }
    int port() const { return m_server.serverPort(); }
    QList<QByteArray> received;

private:
    QTcpServer m_server;
    QByteArray m_greeting;
    QList<QByteArray> m_replies;
};

} // namespace testsupport
