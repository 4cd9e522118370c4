#pragma once

// A scripted SMTP peer inside the test on 127.0.0.1, for exchanges a real
// server does not make on demand.

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace testsupport {

// Sends its greeting to whoever connects, then one scripted reply for every
// line it receives, except the lines of a message after a 354 reply, up to
// its ".". A reply goes out in pieces where it holds Pause, with a short
// wait between them. When the replies run out it stays silent.
class Peer : public QObject
{
public:
    static constexpr char Pause = '\x01';

    explicit Peer(const QByteArray &greeting = {}, const QList<QByteArray> &replies = {})
        : m_greeting(greeting)
        , m_replies(replies)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = m_server.nextPendingConnection();
            send(s, m_greeting);
            connect(s, &QIODevice::readyRead, this, [this, s] {
                while (s->canReadLine()) {
                    const QByteArray line = s->readLine();
                    received += line;
                    if (m_inData) {
                        m_inData = line != ".\r\n";
                        if (m_inData)
                            continue;
                    }
                    if (!m_replies.isEmpty()) {
                        const QByteArray reply = m_replies.takeFirst();
                        m_inData = reply.startsWith("354");
                        send(s, reply);
                    }
                }
            });
        });
    }
    int port() const { return m_server.serverPort(); }
    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
    // Every line received, in order, the message's lines among them.
    QList<QByteArray> received;

private:
    void send(QTcpSocket *socket, const QByteArray &reply)
    {
        const qsizetype pause = reply.indexOf(Pause);
        socket->write(reply.left(pause < 0 ? reply.size() : pause));
        if (pause < 0)
            return;
        socket->flush();
        QTimer::singleShot(
            50, this, [this, s = QPointer<QTcpSocket>(socket), rest = reply.mid(pause + 1)] {
                if (s)
                    send(s, rest);
            });
    }

    QTcpServer m_server;
    QByteArray m_greeting;
    QList<QByteArray> m_replies;
    bool m_inData = false;
};

} // namespace testsupport
