// The SMTP client against a real SMTP server (aiosmtpd) on 127.0.0.1: what it
// stores is parsed back by Python's mail parser and compared with what was
// sent; every fault raises its text and leaves the client able to send again.

#include "mail/smtpclient.h"
#include "tests/mail/mailserver.h"
#include "tests/mail/peer.h"
#include "tests/support/files.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using mail::SmtpClient;
using testsupport::errorOf;
using testsupport::MailServer;
using testsupport::Peer;
using testsupport::writeFile;

namespace {

using namespace std::chrono_literals;

// The same limit at every step.
SmtpClient::TimeOuts every(std::chrono::milliseconds limit)
{
    return {limit, limit, limit, limit, limit, limit, limit};
}

const QString Program = QStringLiteral("Velmorandquist Quick Mail v.0.98 beta");

// An encrypted-looking block: printable ASCII, '=' and '.' included, on one line.
QString block(int length)
{
    QRandomGenerator random(length);
    QString text = QStringLiteral("[Encrypted_By_Velmorandquist][Begin_Encryption]");
    while (text.size() < length - 16)
        text += QChar(char(33 + random.bounded(94)));
    return text + QStringLiteral("[End_Encryption]");
}

QStringList strings(const QJsonValue &array)
{
    QStringList result;
    for (const QJsonValue &v : array.toArray())
        result += v.toString();
    return result;
}

QString header(const QJsonObject &message, const QString &name)
{
    for (const QJsonValue &pair : message[QStringLiteral("headers")].toArray()) {
        if (pair.toArray()[0].toString().compare(name, Qt::CaseInsensitive) == 0)
            return pair.toArray()[1].toString();
    }
    return QStringLiteral("(none)");
}

// The body the parser decoded, with the line ends the wire had turned to LF.
QString body(const QJsonObject &message)
{
    return message[QStringLiteral("body")].toString().replace(
        QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The test server's refusal of an address as the client names it: long
// replies cut after 200 characters.
QString refusal(const QString &address)
{
    return ("550 5.1.1 <" + address + ">: Recipient address rejected: " + QString(250, 'x'))
               .left(200)
        + "...";
}

// Runs the certificate tool; false, with its output shown, when it fails.
bool openssl(const QStringList &arguments, const QString &dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), arguments);
    p.waitForFinished();
    const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        qWarning("%s", p.readAll().constData());
    return ok;
}

} // namespace

class TestSmtpClient : public QObject
{
    Q_OBJECT

    QTemporaryDir m_certs;
    std::unique_ptr<MailServer> m_plain;

    QString cert(const QString &name) const
    {
        return m_certs.filePath(name + QStringLiteral(".pem"));
    }
    QString key(const QString &name) const
    {
        return m_certs.filePath(name + QStringLiteral(".key"));
    }

    // A self-signed certificate and its key for the subject alternative name.
    void makeCertificate(const QString &name, const QString &altName)
    {
        QVERIFY(testsupport::makeCertificate(m_certs.path(), name, altName));
    }

    // The options of a server speaking TLS with the named certificate.
    QStringList tls(const QString &name, const QString &how = QStringLiteral("--starttls")) const
    {
        return {how, "--cert", cert(name), "--key", key(name)};
    }

    // A client with the sender set that trusts the test's good certificates.
    std::unique_ptr<SmtpClient> client(const MailServer &server)
    {
        auto c = std::make_unique<SmtpClient>();
        c->setServer(server.server());
        c->setFromAddress(QStringLiteral("me@sender.example"));
        c->setFromName(QStringLiteral("Ann Teller"));
        c->setLocalProgram(Program);
        c->setToAddress({QStringLiteral("you@example.org")});
        c->setSubject(QStringLiteral("Test"));
        c->setBody({QStringLiteral("Hello.")});
        for (const QString &name :
            {QStringLiteral("good"), QStringLiteral("other"), QStringLiteral("expired")})
            c->addTrustedCertificates(QSslCertificate::fromPath(cert(name)));
        return c;
    }

    static void send(SmtpClient &c)
    {
        c.connectToHost();
        c.sendMail();
        c.disconnectFromHost();
    }

    // After a failure: idle, and a whole mail goes out with the same client.
    void sendsAgain(SmtpClient &c)
    {
        QVERIFY(!c.isConnected());
        c.setSecurity(mail::Security::Automatic);
        c.setPinnedCertificate({});
        c.setServer(m_plain->server());
        c.setCredentials({}, {});
        const qsizetype before = m_plain->messages().size();
        send(c);
        QCOMPARE(m_plain->messages().size(), before + 1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_certs.isValid());
        makeCertificate(QStringLiteral("good"), QStringLiteral("IP:127.0.0.1"));
        makeCertificate(QStringLiteral("other"), QStringLiteral("DNS:mail.example.org"));
        makeCertificate(QStringLiteral("stranger"), QStringLiteral("IP:127.0.0.1"));
        // A certificate that ran out in 2020: only the signing tool sets both dates.
        QVERIFY(writeFile(m_certs.filePath("ca.cnf"),
            "[ca]\ndefault_ca = CA\n[CA]\ndatabase = index.txt\nnew_certs_dir = .\nserial = "
            "serial\n"
            "default_md = sha256\npolicy = any\ncopy_extensions = copy\n[any]\ncommonName = "
            "supplied\n"));
        QVERIFY(writeFile(m_certs.filePath("index.txt"), ""));
        QVERIFY(writeFile(m_certs.filePath("serial"), "01\n"));
        QVERIFY(openssl({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                            "-nodes", "-keyout", key("expired"), "-out", "expired.csr", "-subj",
                            "/CN=Test expired", "-addext", "subjectAltName=IP:127.0.0.1"},
            m_certs.path()));
        QVERIFY(openssl({"ca", "-batch", "-config", "ca.cnf", "-selfsign", "-keyfile",
                            key("expired"), "-in", "expired.csr", "-out", cert("expired"),
                            "-startdate", "200101000000Z", "-enddate", "200102000000Z"},
            m_certs.path()));
        m_plain = std::make_unique<MailServer>();
    }
    void cleanupTestCase() { m_plain.reset(); }

    void mailArrivesByteForByte_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("plain lines, dots")
            << QStringList {"Dear you,", ".", "..two", ".x", "", "end"} << "Plain"
            << "(none)";
        QTest::newRow("5,000-character block")
            << QStringList {"Before:", block(5000), ".", "After. "} << "Block"
            << "quoted-printable";
        QTest::newRow("not ASCII")
            << QStringList {"Grüße, 3 € = ok\t", ".é", "trailing  "}
            << "Grüße – ein Betreff, der länger ist als ein codiertes Wort sein darf, "
               "damit er gefaltet wird"
            << "quoted-printable";
        QTest::newRow("empty body") << QStringList() << QString(300, 'S') << "(none)";
    }
    void mailArrivesByteForByte()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, subject);
        QFETCH(QString, encoding);
        auto c = client(*m_plain);
        c->setToAddress({"a@example.org", "b@example.org"});
        c->setToCarbonCopy({"c@example.org"});
        c->setToBlindCarbonCopy({"hidden@example.org"});
        c->setSubject(subject);
        c->setBody(lines);
        const qsizetype before = m_plain->messages().size();
        send(*c);
        const QJsonObject m = m_plain->messages().value(before);

        QCOMPARE(body(m), lines.isEmpty() ? QString() : lines.join('\n') + '\n');
        QCOMPARE(header(m, "Subject"), subject);
        QCOMPARE(header(m, "Content-Transfer-Encoding"), encoding);
        QCOMPARE(m["mail_from"].toString(), "me@sender.example");
        QCOMPARE(strings(m["rcpt_tos"]),
            (QStringList {
                "a@example.org", "b@example.org", "c@example.org", "hidden@example.org"}));
        QCOMPARE(header(m, "X-Mailer"), Program);
        QCOMPARE(header(m, "From"), "Ann Teller <me@sender.example>");
        const QString raw = m["raw"].toString();
        QVERIFY(raw.contains("\r\nTo: a@example.org,b@example.org\r\nCC: c@example.org\r\n"));
        QVERIFY(QDateTime::fromString(header(m, "Date"), Qt::RFC2822Date).isValid());
        QVERIFY(QRegularExpression("^<[0-9a-f]{32}@sender\\.example>$")
                    .match(header(m, "Message-ID"))
                    .hasMatch());
        QVERIFY(strings(m["defects"]).isEmpty());
        QVERIFY(!raw.contains("hidden"));
        // Every line CR LF ended and short enough for any server.
        QVERIFY(!raw.contains(QRegularExpression("\r(?!\n)|(?<!\r)\n")));
        for (const QString &line : raw.split("\r\n"))
            QVERIFY(line.size() <= 998);
        // The EHLO name is the host's domain name or the address literal.
        const QString helo = m["helo"].toString();
        QVERIFY2(helo == "[127.0.0.1]" || helo.contains('.'), qPrintable(helo));
    }

    void lineEndsInsideBodyLinesBecomeCrLf()
    {
        auto c = client(*m_plain);
        c->setBody({"one\rtwo\nthree\r\nfour"});
        c->setUserId("client.example.org");
        c->connectToHost();
        c->sendMail();
        c->sendMail(); // RSET makes a second mail on the same connection
        c->disconnectFromHost();
        const auto all = m_plain->messages();
        QCOMPARE(body(all.last()), "one\ntwo\nthree\nfour\n");
        QCOMPARE(body(all[all.size() - 2]), "one\ntwo\nthree\nfour\n");
        QCOMPARE(all.last()["helo"].toString(), "client.example.org");
    }

    void multiLineRepliesAreReadWholeAndQuitIsChecked()
    {
        Peer peer("220-mail.test first\r\n220 second\r\n",
            {"250-mail.test\r\n250-SIZE 1000\r\n250 HELP\r\n", "500 5.5.1 no\r\n"});
        SmtpClient c;
        c.setServer(QStringLiteral("127.0.0.1:%1").arg(peer.port()));
        c.setUserId("client.example.org");
        c.connectToHost();
        QCOMPARE(c.lastReplyLine(), "250 HELP\r\n");
        QCOMPARE(errorOf([&] { c.disconnectFromHost(); }), "500 5.5.1 no\r\n");
        QVERIFY(!c.isConnected()); // closed all the same
        QCOMPARE(peer.received, (QList<QByteArray> {"EHLO client.example.org\r\n", "QUIT\r\n"}));
    }

    void heloWhenEhloIsRefused()
    {
        MailServer server({"--no-ehlo"});
        auto c = client(server);
        c->setUserId("client.example.org");
        send(*c);
        QCOMPARE(server.messages().value(0)["helo"].toString(), "client.example.org");
    }

    void someRecipientsRefused()
    {
        // The long refusal line must not be taken for the next reply.
        MailServer server({"--refuse", "bad@example.org"});
        auto c = client(server);
        c->setToAddress({"bad@example.org", "good@example.org"});
        c->setToCarbonCopy({""});
        QStringList signalled;
        connect(c.get(), &SmtpClient::recipientRefused, this,
            [&](const QString &a) { signalled += a; });
        send(*c);
        QCOMPARE(strings(server.messages().value(0)["rcpt_tos"]), QStringList {"good@example.org"});
        QCOMPARE(signalled, (QStringList {"bad@example.org", ""}));
        QCOMPARE(c->refusedRecipients().value(0).reply.left(4), "550 ");
    }

    void faultsRaiseTheirTextAndLeaveTheClientUsable_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("connects");
        QTest::newRow("421 greeting")
            << QStringList {"--greet421"} << "421 4.3.2 Service not available, try later\r\n"
            << false;
        QTest::newRow("all refused") << QStringList {"--refuse-all"}
                                     << "Every recipient was refused:\nyou@example.org: "
                + refusal("you@example.org") + "\ncc@example.org: " + refusal("cc@example.org")
                                     << true;
        QTest::newRow("closed in DATA")
            << QStringList {"--close-in-data"} << "The mail server closed the connection" << true;
    }
    void faultsRaiseTheirTextAndLeaveTheClientUsable()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, error);
        QFETCH(bool, connects);
        MailServer server(options);
        auto c = client(server);
        c->setToCarbonCopy({"cc@example.org"});
        if (connects) {
            c->connectToHost();
            QCOMPARE(errorOf([&] { c->sendMail(); }), error);
        } else {
            QCOMPARE(errorOf([&] { c->connectToHost(); }), error);
        }
        QVERIFY(server.messages().isEmpty());
        sendsAgain(*c);
    }

    void networkFailures()
    {
        auto c = client(*m_plain);
        c->setServer("no-such-host.invalid:25");
        QCOMPARE(errorOf([&] { c->connectToHost(); }), "Host Lookup Failed");
        sendsAgain(*c);
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        c->setServer(QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()));
        closed.close();
        QCOMPARE(errorOf([&] { c->connectToHost(); }), "Connection Failed");
        sendsAgain(*c);
    }

    void silentServerEndsByCancelOrTimeOut()
    {
        MailServer silent({"--silent"});
        auto c = client(silent);
        // A cancel while the greeting is awaited also cancels the QUIT.
        QTimer::singleShot(200, c.get(), [&] { c->abort(); });
        QCOMPARE(errorOf([&] { c->connectToHost(); }), "Write Canceled");
        sendsAgain(*c);

        c->setServer(silent.server());
        c->setTimeOuts(every(300ms));
        QElapsedTimer t;
        t.start();
        QCOMPARE(errorOf([&] { c->connectToHost(); }), "Read Timed Out");
        QVERIFY(t.elapsed() >= 290 && t.elapsed() < 10000);
        QVERIFY(c->beenTimedOut());
        c->setTimeOuts(SmtpClient::StandardTimeOuts);
        sendsAgain(*c);

        // A TLS handshake that never ends.
        c->setSecurity(mail::Security::Tls);
        c->setServer(silent.server());
        QTimer::singleShot(200, c.get(), [&] { c->abort(); });
        QCOMPARE(errorOf([&] { c->connectToHost(); }), "TLS Handshake Canceled");
        sendsAgain(*c);

        MailServer mute({"--silent-data"});
        c->setServer(mute.server());
        c->connectToHost();
        QTimer::singleShot(200, c.get(), [&] { c->abort(); });
        QCOMPARE(errorOf([&] { c->sendMail(); }), "Read Canceled");
        sendsAgain(*c);
    }

    void idleClientFailsAtOnce()
    {
        auto c = client(*m_plain);
        QCOMPARE(errorOf([&] { c->sendMail(); }), "Not connected");
        QCOMPARE(errorOf([&] { c->disconnectFromHost(); }), "Not connected");
        c->abort(); // harmless while idle
        sendsAgain(*c);
    }

    void badInputIsRefusedBeforeAnythingIsSent()
    {
        auto c = client(*m_plain);
        c->connectToHost();
        c->setToAddress({"you@example.org\r\nRCPT TO:<spam@example.org>"});
        QCOMPARE(errorOf([&] { c->sendMail(); }),
            "Invalid character in \"you@example.org  RCPT TO:<spam@example.org>\"");
        c->setToAddress({"you@example.org"});
        sendsAgain(*c);
        for (const char *bad : {"", "host:0", "host:65536", "a:b:c", "[::1"})
            QVERIFY2(errorOf([&] { c->setServer(bad); }).startsWith("Invalid mail server"), bad);
        c->setServer(" mail.example.org:465 ");
        QCOMPARE(c->host(), "mail.example.org");
        QCOMPARE(c->port(), 465);
        QVERIFY(c->implicitTls());
        c->setServer("[::1]:2525");
        QCOMPARE(c->host(), "::1");
        QCOMPARE(c->port(), 2525);
        c->setServer("mail.example.org");
        QCOMPARE(c->port(), 25);
        QVERIFY(!c->implicitTls());
    }

    void tlsAndLogin_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("user");
        QTest::newRow("STARTTLS") << tls("good") << false << QString();
        QTest::newRow("STARTTLS, AUTH PLAIN")
            << tls("good") + QStringList {"--auth", "user:secret"} << false << "user";
        QTest::newRow("STARTTLS, AUTH LOGIN")
            << tls("good") + QStringList {"--auth", "user:secret", "--auth-mechanism", "LOGIN"}
            << false << "user";
        QTest::newRow("implicit TLS, AUTH")
            << tls("good", "--implicit-tls") + QStringList {"--auth", "user:secret"} << true
            << "user";
    }
    void tlsAndLogin()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, implicit);
        QFETCH(QString, user);
        MailServer server(options);
        auto c = client(server);
        c->setSecurity(implicit ? mail::Security::Tls : mail::Security::Automatic);
        c->setCredentials(user, "secret");
        c->setBody({block(3000), "."});
        c->connectToHost();
        QVERIFY(c->isEncrypted());
        c->sendMail();
        c->disconnectFromHost();
        const QJsonObject m = server.messages().value(0);
        QVERIFY(m["tls"].toBool());
        QCOMPARE(m["login"].toString(), user);
        QCOMPARE(body(m), block(3000) + "\n.\n");
    }

    void tlsAndLoginFailures_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown issuer")
            << tls("stranger") << QString()
            << "Certificate Rejected: The certificate is self-signed, and untrusted";
        QTest::newRow("wrong host")
            << tls("other") << QString()
            << "Certificate Rejected: The host name did not match any of the valid "
               "hosts for this certificate";
        QTest::newRow("expired")
            << tls("expired") << QString()
            << "Certificate Rejected: The certificate is self-signed, and untrusted; The "
               "certificate has expired";
        QTest::newRow("wrong password")
            << tls("good") + QStringList {"--auth", "user:secret"} << "guess"
            << "Authentication failed: 535 5.7.8 Authentication credentials invalid";
        QTest::newRow("no TLS for a password") << QStringList() << "secret"
                                               << "The mail server offers no encryption (STARTTLS)";
    }
    void tlsAndLoginFailures()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, password);
        QFETCH(QString, error);
        MailServer server(options);
        auto c = client(server);
        if (!password.isEmpty())
            c->setCredentials("user", password);
        QCOMPARE(errorOf([&] { c->connectToHost(); }), error);
        sendsAgain(*c);
    }

    // A client for a scripted peer, with a sender and one recipient.
    static void aimAt(SmtpClient &c, const Peer &peer)
    {
        c.setServer(peer.server());
        c.setUserId("client.example.org");
        c.setFromAddress("me@sender.example");
        c.setToAddress({"you@example.org"});
        c.setBody({"Hello."});
    }

    // A refusal leaves the server in step: QUIT goes out whole and its reply
    // is read before the line is closed, also with a stale line unread; the
    // refusal is what the caller is told.
    void quitAfterARefusal_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<QString>("error");
        const QByteArray ehlo = "250 mail.test\r\n", ok = "250 OK\r\n", bye = "221 Bye\r\n";
        QTest::newRow("550 to MAIL FROM")
            << QList<QByteArray> {ehlo, ok, "550 5.7.1 Sender rejected\r\n", bye}
            << "550 5.7.1 Sender rejected\r\n";
        QTest::newRow("a stale line after it")
            << QList<QByteArray> {ehlo, ok, "550 5.7.1 No\r\n250 stale\r\n", bye}
            << "550 5.7.1 No\r\n";
        QTest::newRow("every recipient refused")
            << QList<QByteArray> {ehlo, ok, ok, "450 4.2.0 Greylisted\r\n", bye}
            << "Every recipient was refused:\nyou@example.org: 450 4.2.0 Greylisted "
               "(temporary: try again later)";
        QTest::newRow("554 after the message")
            << QList<QByteArray> {ehlo, ok, ok, ok, "354 Go on\r\n", "554 5.6.0 Refused\r\n", bye}
            << "554 5.6.0 Refused\r\n";
    }
    void quitAfterARefusal()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(QString, error);
        Peer peer("220 mail.test\r\n", replies);
        SmtpClient c;
        aimAt(c, peer);
        c.connectToHost();
        QCOMPARE(errorOf([&] { c.sendMail(); }), error);
        QCOMPARE(peer.received.last(), "QUIT\r\n");
        QCOMPARE(c.lastReplyLine(), "221 Bye\r\n");
        QVERIFY(!c.isConnected());
    }

    // Replies in pieces are read whole; a 450 for one recipient is named as
    // temporary and the others get the message.
    void splitRepliesAndATemporaryRefusal()
    {
        Peer peer("220-mail.test\r\n22\x01"
                  "0 ready\r\n",
            {"250-mail.test\r\n250 SI\x01ZE 1000\r\n", "250 OK\r\n", "250 OK\r\n",
                "450 4.2.0 Greylisted, try\x01 again later\r\n", "250 OK\r\n", "354 Go on\r\n",
                "250 Que\x01ued\r\n", "221 Bye\r\n"});
        SmtpClient c;
        aimAt(c, peer);
        c.setToAddress({"grey@example.org", "you@example.org"});
        send(c);
        QCOMPARE(c.refusedRecipients().size(), 1);
        QVERIFY(c.refusedRecipients()[0].temporary());
        QCOMPARE(c.refusedRecipients()[0].describe(),
            "grey@example.org: 450 4.2.0 Greylisted, try again later (temporary: try again later)");
        QVERIFY(peer.received.contains("Hello.\r\n"));
        QCOMPARE(
            peer.received.mid(peer.received.size() - 2), (QList<QByteArray> {".\r\n", "QUIT\r\n"}));
    }

    // Each step waits as long as RFC 5321 4.5.3.2 gives it: a server slow to
    // accept the final "." still gets the mail sent once; one that stops
    // answering fails the wait after its step's time-out and gets nothing
    // more, no QUIT either.
    void timeOutsPerStep()
    {
        using namespace std::chrono;
        QCOMPARE(SmtpClient().timeOuts(), SmtpClient::StandardTimeOuts);
        const SmtpClient::TimeOuts standard = SmtpClient::StandardTimeOuts;
        QCOMPARE((std::vector<milliseconds> {standard.greeting, standard.mailFrom,
                     standard.recipient, standard.dataStart, standard.dataBlock, standard.dataEnd}),
            (std::vector<milliseconds> {5min, 5min, 5min, 2min, 3min, 10min}));

        SmtpClient::TimeOuts shortened = every(300ms);
        shortened.dataEnd = 3s;
        const QByteArray greeting = "220 mail.test\r\n";
        const QList<QByteArray> upToData {
            "250 mail.test\r\n", "250 OK\r\n", "250 OK\r\n", "250 OK\r\n", "354 Go on\r\n"};
        // The "." answered after a second: longer than any other step may wait.
        Peer slow(greeting, upToData + QList<QByteArray> {QByteArray(20, Peer::Pause) + "250 Queued\r\n", "221 Bye\r\n"});
        SmtpClient c;
        aimAt(c, slow);
        c.setTimeOuts(shortened);
        QElapsedTimer t;
        t.start();
        send(c);
        QVERIFY(t.elapsed() >= 1000);
        QCOMPARE(slow.received.last(), "QUIT\r\n");

        for (const auto &[replies, limit, last] :
            {std::tuple {upToData.mid(0, 2), 300, QByteArray("MAIL FROM:<me@sender.example>\r\n")},
                {upToData, 3000, QByteArray(".\r\n")}}) {
            Peer silent(greeting, replies);
            aimAt(c, silent);
            c.connectToHost();
            t.restart();
            QCOMPARE(errorOf([&] { c.sendMail(); }), "Read Timed Out");
            QVERIFY2(t.elapsed() >= limit - 10 && t.elapsed() < limit + 2000,
                qPrintable(QString::number(t.elapsed())));
            QVERIFY(!c.isConnected());
            QTest::qWait(100);
            QCOMPARE(silent.received.last(), last);
        }
    }

    // Text sent in plain after the 220 to STARTTLS would be read as if it had
    // come encrypted: refused, closed, nothing more sent.
    void starttlsReplyInjectionIsRefused()
    {
        Peer peer("220 mail.test\r\n",
            {"250-mail.test\r\n250 STARTTLS\r\n",
                "220 Go ahead\r\n250-mail.test\r\n250 AUTH PLAIN\r\n"});
        SmtpClient c;
        aimAt(c, peer);
        QCOMPARE(errorOf([&] { c.connectToHost(); }),
            "TLS Refused: text arrived before the encryption began, as if from inside it (it may "
            "have been put there on the way); the connection was closed");
        QVERIFY(!c.isConnected());
        QTest::qWait(100);
        QCOMPARE(
            peer.received, (QList<QByteArray> {"EHLO client.example.org\r\n", "STARTTLS\r\n"}));
    }

    void connectionSecurityAsChosen()
    {
        // None: plain even where STARTTLS is offered, but no password in it.
        // (STARTTLS asked of a server without it: through the composer.)
        auto c = client(*m_plain);
        MailServer offering(tls("good"));
        c->setSecurity(mail::Security::None);
        c->setServer(offering.server());
        send(*c);
        QVERIFY(!offering.messages().value(0)["tls"].toBool());
        c->setCredentials("user", "secret");
        QCOMPARE(
            errorOf([&] { c->connectToHost(); }), "A password is never sent without encryption");
        QVERIFY(offering.messages().size() == 1);
        sendsAgain(*c);
        // TLS: port 465 when none is given.
        c->setSecurity(mail::Security::Tls);
        c->setServer("mail.example.org");
        QCOMPARE(c->port(), 465);
        QVERIFY(c->implicitTls());
        c->setSecurity(mail::Security::StartTls);
        c->setServer("mail.example.org:465");
        QVERIFY(!c->implicitTls());
    }

    void senderNameAndAddresses()
    {
        auto c = client(*m_plain);
        // No sender: refused before the transaction, not "MAIL FROM:<>".
        c->setFromAddress("");
        c->connectToHost();
        QCOMPARE(errorOf([&] { c->sendMail(); }), "There is no sender address");
        QVERIFY(!c->isConnected());
        // The name in the From header: quoted where it holds specials,
        // encoded words where it is not ASCII; domains in ASCII.
        c->setFromAddress("me@sender.example");
        c->setFromName("Teller, Ann \"T\"");
        c->setToAddress({"you@bücher.example"});
        const qsizetype before = m_plain->messages().size();
        send(*c);
        c->setFromName("Grüße Ann");
        send(*c);
        const QList<QJsonObject> sent = m_plain->messages().mid(before);
        QCOMPARE(sent.size(), 2);
        QVERIFY(sent[0]["raw"].toString().contains(
            "\r\nFrom: \"Teller, Ann \\\"T\\\"\" <me@sender.example>\r\n"));
        QCOMPARE(strings(sent[0]["rcpt_tos"]), QStringList {"you@xn--bcher-kva.example"});
        QCOMPARE(header(sent[0], "To"), "you@xn--bcher-kva.example");
        QVERIFY(sent[1]["raw"].toString().contains("From: =?utf-8?B?"));
        QCOMPARE(header(sent[1], "From"), "Grüße Ann <me@sender.example>");
        QVERIFY(strings(sent[1]["defects"]).isEmpty());

        // A local part that is not ASCII needs SMTPUTF8.
        c->setToAddress({"jörg@example.org"});
        c->connectToHost();
        QCOMPARE(errorOf([&] { c->sendMail(); }),
            "The mail server takes no address that is not plain ASCII (it does not offer "
            "SMTPUTF8): \"jörg@example.org\"");
        QCOMPARE(m_plain->messages().size(), before + 2);
        MailServer utf8({"--smtputf8"});
        c->setServer(utf8.server());
        send(*c);
        QCOMPARE(strings(utf8.messages().value(0)["rcpt_tos"]), QStringList {"jörg@example.org"});
        QVERIFY(utf8.messages().value(0)["raw"].toString().contains(
            QString::fromLatin1(QByteArray("\r\nTo: jörg@example.org\r\n"))));
    }
};

QTEST_GUILESS_MAIN(TestSmtpClient)
#include "tst_smtpclient.moc"
