// The socket layer against a scripted peer in this process on 127.0.0.1:
// status texts by level, reply lines and their codes, pieces of long lines,
// and every wait ended by its event, a cancel or a time-out.

#include "mail/socket.h"
#include "tests/mail/peer.h"
#include "tests/support/files.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include <ctime>

using mail::Socket;
using testsupport::errorOf;
using testsupport::Peer;

namespace {

void aim(Socket &socket, const Peer &peer)
{
    socket.setHost(QStringLiteral("127.0.0.1"));
    socket.setPort(peer.port());
}

int unusedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

} // namespace

class TestSocket : public QObject
{
    Q_OBJECT

private slots:
    void replyCodeIsTheLeadingDigits_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("code");
        QTest::newRow("reply") << QByteArray("250 OK\r\n") << 250;
        QTest::newRow("continuation") << QByteArray("250-PIPELINING\r\n") << 250;
        QTest::newRow("no digits") << QByteArray("OK 250\r\n") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("first ten only") << QByteArray("123456789012 x") << 1234567890;
        QTest::newRow("beyond int") << QByteArray("9999999999") << std::numeric_limits<int>::max();
    }
    void replyCodeIsTheLeadingDigits()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, code);
        QCOMPARE(Socket::replyCodeOf(line), code);
    }

    void statusTextsByLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("0") << 0 << QStringList();
        QTest::newRow("1") << 1 << QStringList {"250 OK\r\n"};
        QTest::newRow("2") << 2
                           << QStringList {"Connecting", "WriteLn", "250 OK\r\n", "Sending",
                                  "Canceling", "Disconnecting"};
        QTest::newRow("4") << 4
                           << QStringList {"Connecting", "WriteLn", "Sending Buffer", "250 OK\r\n",
                                  "Sending", "Sending Buffer", "Canceling", "Disconnecting",
                                  "Request Close Socket"};
    }
    void statusTextsByLevel()
    {
        QFETCH(int, level);
        QFETCH(QStringList, expected);
        Peer peer({}, {"250 OK\r\n"});
        Socket socket;
        aim(socket, peer);
        socket.setReportLevel(level);
        QStringList seen;
        connect(&socket, &Socket::statusText, this, [&](const QString &t) { seen += t; });
        socket.connectToHost();
        socket.transaction("NOOP");
        socket.write("x");
        socket.cancel();
        socket.disconnectFromHost();
        QCOMPARE(seen, expected);
        QCOMPARE(socket.status(), expected.isEmpty() ? QString() : expected.last());
    }

    void levelEightReportsTimerAndErrorNumber()
    {
        Socket socket;
        socket.setReportLevel(8);
        QStringList seen;
        connect(&socket, &Socket::statusText, this, [&](const QString &t) { seen += t; });
        socket.setLastErrorNo(7);
        QCOMPARE(socket.lastErrorNo(), 7);
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Host Lookup Failed"); // empty host
        QCOMPARE(seen.mid(0, 4),
            (QStringList {
                "Setting LastError Number", "Getting LastError Number", "Timer On", "Timer Off"}));
    }

    void transactionTakesTheReplyAndItsCode()
    {
        Peer peer({}, {"250 mail.test ready\r\n", "no digits\r\n"});
        Socket socket;
        aim(socket, peer);
        socket.connectToHost();
        QCOMPARE(socket.transaction("NOOP"), "250 mail.test ready\r\n");
        QCOMPARE(socket.replyCode(), 250);
        QCOMPARE(socket.transactionReply(), "250 mail.test ready\r\n");
        QCOMPARE(socket.transaction("WHAT"), "no digits\r\n");
        QCOMPARE(socket.replyCode(), 0);
        QCOMPARE(peer.received, (QList<QByteArray> {"NOOP\r\n", "WHAT\r\n"}));
        QVERIFY(socket.handle() != Socket::NoHandle);
        socket.disconnectFromHost();
        QCOMPARE(socket.handle(), Socket::NoHandle);
    }

    void linesComeWholeOrInPiecesOf255()
    {
        // Two replies in one read, a 300-character line, and a line whose CR
        // is its 255th character.
        Peer peer(
            QByteArray(300, 'a') + "\r\n" + QByteArray(254, 'b') + "\r\n250 one\r\n250 two\r\n");
        Socket socket;
        aim(socket, peer);
        socket.connectToHost();
        QCOMPARE(socket.readLine(), QByteArray(255, 'a'));
        QCOMPARE(socket.readLine(), QByteArray(45, 'a') + "\r\n");
        QCOMPARE(socket.readLine(), QByteArray(254, 'b') + "\r");
        // The LF goes with the next line, as it comes.
        QCOMPARE(socket.readLine(), "\n250 one\r\n");
        QCOMPARE(socket.readLine(), "250 two\r\n");
    }

    void silentPeerEndsByTimeOutOrCancelWithoutSpinning()
    {
        Peer peer;
        Socket socket;
        aim(socket, peer);
        socket.connectToHost();

        socket.setTimeOut(400);
        QElapsedTimer wall;
        wall.start();
        const std::clock_t cpu = std::clock();
        QCOMPARE(errorOf([&] { socket.readLine(); }), "Read Timed Out");
        const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        QVERIFY2(wall.elapsed() >= 390 && wall.elapsed() < 5000,
            qPrintable(QString::number(wall.elapsed())));
        QVERIFY2(cpuSeconds < 0.2, qPrintable(QString::number(cpuSeconds))); // sleeps, no spinning
        QVERIFY(socket.beenTimedOut());
        QVERIFY(socket.isConnected());

        socket.setTimeOut(0);
        QTimer::singleShot(100, &socket, [&] { socket.cancel(); });
        QCOMPARE(errorOf([&] { socket.readLine(); }), "Read Canceled");
        QVERIFY(socket.beenCanceled());
        QVERIFY(!socket.beenTimedOut());
        // Every later wait ends at once until the next connect.
        QCOMPARE(errorOf([&] { socket.write("x"); }), "Write Canceled");
        QCOMPARE(errorOf([&] { socket.readLine(); }), "Read Canceled");
        socket.disconnectFromHost();
        socket.connectToHost();
        QVERIFY(!socket.beenCanceled());
        socket.write("x");
    }

    void connectFailuresLeaveTheSocketUsable()
    {
        Peer peer({}, {"250 OK\r\n"});
        Socket socket;
        socket.setHost(QStringLiteral("127.0.0.1"));
        socket.setPort(unusedPort());
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Connection Failed");
        QVERIFY(!socket.isConnected());

        socket.setHost(QStringLiteral("no-such-host.invalid"));
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Host Lookup Failed");
        socket.setHost(QStringLiteral("0.0.0.0"));
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Null Remote Address");

        aim(socket, peer);
        socket.connectToHost();
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Already connected");
        QVERIFY(socket.isConnected());
        QCOMPARE(socket.transaction("NOOP"), "250 OK\r\n");
    }

    void cancelEndsTheLookupAndTheConnect()
    {
        Peer peer;
        Socket socket;
        socket.setReportLevel(8);
        QString cancelOn;
        connect(&socket, &Socket::statusText, this, [&](const QString &t) {
            if (t == cancelOn)
                socket.cancel();
        });
        cancelOn = QStringLiteral("Timer On"); // the first wait: the lookup
        socket.setHost(QStringLiteral("no-such-host.invalid"));
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Host Lookup Canceled");
        cancelOn = QStringLiteral("Connecting");
        aim(socket, peer);
        QCOMPARE(errorOf([&] { socket.connectToHost(); }), "Connection Canceled");
        QVERIFY(!socket.isConnected());
        cancelOn.clear();
        socket.connectToHost();
        QVERIFY(socket.isConnected());
    }

    void idleSocketFailsAtOnce()
    {
        Socket socket;
        QCOMPARE(errorOf([&] { socket.write("x"); }), "Not connected");
        QCOMPARE(errorOf([&] { socket.readLine(); }), "Not connected");
        QCOMPARE(errorOf([&] { socket.transaction("NOOP"); }), "Not connected");
    }
};

QTEST_GUILESS_MAIN(TestSocket)
#include "tst_socket.moc"
