// vlq with OpenPGP, against the gpg command both ways, in a GnuPG home of
// the test's own: exit statuses, the exact bytes on stdout, the messages on
// stderr, and that a refusal writes nothing to stdout.

#include "tests/support/gnupghome.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::Run;

namespace {

QByteArray quoted(const QByteArray &text, const QByteArray &prefix)
{
    QByteArray out;
    for (const QByteArray &line : text.split('\n'))
        out += prefix + line + '\n';
    return out;
}

} // namespace

class TestVlqOpenPgp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void decrypt_data();
    void decrypt();
    void encrypt_data();
    void encrypt();
    void usage_data();
    void usage();

private:
    Run vlq(const QStringList &args, const QByteArray &input = {});

    testsupport::GnuPGHome m_home;
    QTemporaryDir m_dir;
    QString m_passwordFile, m_wrongFile;
    QByteArray m_alice, m_bob, m_certOnly, m_frank;
    QByteArray m_symmetric, m_toAlice, m_toBob, m_signed, m_noMdc;
    const QByteArray m_plain = "Meet me at noon.\r\nNo \0 trouble."_ba;
};

Run TestVlqOpenPgp::vlq(const QStringList &args, const QByteArray &input)
{
    return testsupport::runWithoutTerminal(
        QString::fromLocal8Bit(qgetenv("VLQ_BIN_DIR")) + u"/vlq"_s, args, input);
}

void TestVlqOpenPgp::initTestCase()
{
    QVERIFY(m_home.isValid() && m_dir.isValid());
    m_passwordFile = m_dir.filePath(u"pw"_s);
    m_wrongFile = m_dir.filePath(u"wrong"_s);
    for (const auto &[file, content] : {std::pair {m_passwordFile, "correct horse\n"_ba},
             std::pair {m_wrongFile, "Correct horse\n"_ba}}) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    m_alice = m_home.makeKey(u"Alice <alice@example.org>"_s);
    m_bob = m_home.makeKey(u"Bob <bob@example.org>"_s);
    m_certOnly = m_home.makeKey(u"Cert Only <cert@example.org>"_s, true);
    m_frank = m_home.makeKey(u"Frank <frank@example.net>"_s);
    // Frank's key as a correspondent's: in the keyring, but not certified.
    m_home.gpg({u"--import-ownertrust"_s}, m_frank + ":2:\n");
    m_home.gpg({u"--check-trustdb"_s});
    const auto made = [&](const QStringList &args, const QString &passphrase = {}) {
        return m_home.gpg(args + QStringList {u"-a"_s}, m_plain, passphrase).out;
    };
    m_symmetric = made({u"-c"_s}, u"correct horse"_s);
    m_toAlice = made({u"-e"_s, u"-r"_s, QString::fromLatin1(m_alice)});
    m_toBob = made({u"-e"_s, u"-r"_s, QString::fromLatin1(m_bob)});
    m_signed = made({u"-s"_s, u"-e"_s, u"-u"_s, QString::fromLatin1(m_alice), u"-r"_s,
        QString::fromLatin1(m_alice)});
    m_noMdc = made({u"-c"_s, u"--rfc2440"_s, u"--cipher-algo"_s, u"AES"_s}, u"correct horse"_s);
    QVERIFY(m_signed.startsWith("-----BEGIN PGP MESSAGE-----"));
    m_home.forgetSecretKey(m_bob);
}

void TestVlqOpenPgp::decrypt_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("password");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QByteArray changed = m_symmetric;
    changed[changed.size() / 2] = changed[changed.size() / 2] == 'A' ? 'B' : 'A';
    const QByteArray pw = m_passwordFile.toLocal8Bit();
    QTest::newRow("gpg -c in prose") << "Hi,\n" + m_symmetric + "bye" << true << 0
                                     << "Hi,\n" + m_plain + "\nbye" << QByteArray();
    QTest::newRow("quoted") << quoted(m_symmetric.chopped(1), "> ") << true << 0 << m_plain + "\n"
                            << QByteArray();
    QTest::newRow("for a key: no password asked") << m_toAlice << false << 0 << m_plain + "\n"
                                                  << QByteArray();
    QTest::newRow("two: the first counts")
        << m_toAlice + m_symmetric << false << 0 << m_plain + "\n" + m_symmetric << QByteArray();
    QTest::newRow("signed") << m_signed << false << 0 << m_plain + "\n"
                            << "vlq: good signature by Alice <alice@example.org>\n"_ba;
    QTest::newRow("signed, not encrypted")
        << m_home.gpg({u"-s"_s, u"-a"_s, u"-u"_s, QString::fromLatin1(m_alice)}, m_plain).out
        << false << 0 << m_plain + "\n"
        << "vlq: good signature by Alice <alice@example.org>\n"_ba;
    QTest::newRow("no secret key") << "x " + m_toBob << false << 5 << QByteArray()
                                   << "vlq: no secret key for this message; it is encrypted to "_ba;
    QTest::newRow("wrong password")
        << m_symmetric << true << 3 << QByteArray() << "Incorrect password.\n"_ba;
    QTest::newRow("a changed byte")
        << changed << true << 4 << QByteArray() << "Check sum error:\nData may be corrupt"_ba;
    QTest::newRow("no integrity protection")
        << m_noMdc << true << 4 << QByteArray()
        << "vlq: the message has no integrity protection (it could have been changed on the "
           "way); not decrypted.\n"_ba;
    QTest::newRow("for a password, no terminal")
        << m_symmetric << false << 1 << QByteArray() << "vlq: no terminal to ask"_ba;
    QTest::newRow("no agent") << m_symmetric << false << 1 << QByteArray()
                              << "vlq: OpenPGP needs GnuPG, which could not be used: its agent"_ba;
}

void TestVlqOpenPgp::decrypt()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, password);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const bool wrong = QByteArray(QTest::currentDataTag()) == "wrong password";
    const bool noAgent = QByteArray(QTest::currentDataTag()) == "no agent";
    if (noAgent) { // one that does not start
        m_home.write(u"gpg.conf"_s, "agent-program /bin/false\n");
        testsupport::run(u"gpgconf"_s, {u"--kill"_s, u"gpg-agent"_s});
    }
    const Run r = vlq(password
            ? QStringList {u"decrypt"_s, u"--password-file"_s, wrong ? m_wrongFile : m_passwordFile}
            : QStringList {u"decrypt"_s},
        input);
    QVERIFY2(r.status == status, r.err);
    QCOMPARE(r.out, out);
    QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(err), r.err);
    if (noAgent)
        m_home.write(u"gpg.conf"_s, "no-auto-key-retrieve\nauto-key-locate local\n");
    if (status == 5) // the key is named, and its holder
        QVERIFY2(r.err.contains("(Bob <bob@example.org>)"), r.err);
}

void TestVlqOpenPgp::encrypt_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("err");
    const auto r = [](const QList<QByteArray> &keys) {
        QStringList args {u"encrypt"_s};
        for (const QByteArray &key : keys)
            args << u"--recipient"_s << QString::fromLatin1(key);
        return args;
    };
    QTest::newRow("password") << QStringList {u"encrypt"_s, u"--openpgp"_s, u"--password-file"_s,
        m_passwordFile} << 0 << QByteArray();
    QTest::newRow("to an address") << r({"alice@example.org"}) << 0 << QByteArray();
    QTest::newRow("to two, by fingerprint") << r({m_alice, "0x" + m_bob}) << 0 << QByteArray();
    QTest::newRow("an uncertified key by its fingerprint") << r({m_frank}) << 0 << QByteArray();
    QTest::newRow("an uncertified key by its address") << r(
        {"frank@example.net"}) << 1 << "vlq: cannot encrypt to 'frank@example.net': the key "_ba;
    QTest::newRow("no such key") << r({"alice@example.org", "nobody@example.org"}) << 1
                                 << "vlq: cannot encrypt to 'nobody@example.org': no key in your "
                                    "keyring matches it.\n"_ba;
    QTest::newRow("no encryption subkey")
        << r({"cert@example.org"}) << 1 << "vlq: cannot encrypt to 'cert@example.org': the key "_ba;
    QTest::newRow("several match")
        << r({"example.org"}) << 1 << "vlq: cannot encrypt to 'example.org': it matches 2 keys"_ba;
}

void TestVlqOpenPgp::encrypt()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, err);
    const Run r = vlq(args, m_plain);
    QVERIFY2(r.status == status, r.err);
    QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(err), r.err);
    if (status != 0) {
        QVERIFY(r.out.isEmpty());
        return;
    }
    QVERIFY(r.out.startsWith("-----BEGIN PGP MESSAGE-----\n"));
    // gpg reads it, and so does vlq, byte for byte.
    const bool password = args.contains(u"--openpgp"_s);
    const Run gpg = m_home.gpg({u"-d"_s}, r.out, password ? u"correct horse"_s : QString());
    QCOMPARE(gpg.out, m_plain);
    const Run back = vlq(password ? QStringList {u"decrypt"_s, u"--password-file"_s, m_passwordFile}
                                  : QStringList {u"decrypt"_s},
        r.out);
    QCOMPARE(back.out, m_plain); // nothing after the end marker, as for our blocks
}

void TestVlqOpenPgp::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("--openpgp and --level") << QStringList {u"encrypt"_s, u"--openpgp"_s,
        u"--level"_s, u"4"_s} << "vlq: --level, --openpgp and --recipient do not go together\n"_ba;
    QTest::newRow("--recipient and --openpgp")
        << QStringList {u"encrypt"_s, u"--recipient"_s, u"a"_s, u"--openpgp"_s}
        << "vlq: --level, --openpgp and --recipient do not go together\n"_ba;
    QTest::newRow("--recipient with a password") << QStringList {u"encrypt"_s, u"--recipient"_s,
        u"a"_s, u"--password-file"_s, u"x"_s} << "vlq: --recipient takes no password\n"_ba;
    QTest::newRow("--openpgp on decrypt")
        << QStringList {u"decrypt"_s, u"--openpgp"_s} << "vlq: --openpgp is for encrypt"_ba;
    QTest::newRow("--recipient without a key")
        << QStringList {u"encrypt"_s, u"--recipient"_s} << "vlq: --recipient needs a value\n"_ba;
}

void TestVlqOpenPgp::usage()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    const Run r = vlq(args);
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.startsWith(message), r.err);
    const Run help = vlq({u"--help"_s});
    for (const char *needle : {"vlq encrypt --openpgp [--password-file FILE]",
             "vlq encrypt --recipient KEY [--recipient KEY]...", "  5  no secret key",
             "Keyservers are never asked."})
        QVERIFY2(help.out.contains(needle), needle);
}

QTEST_GUILESS_MAIN(TestVlqOpenPgp)
#include "tst_vlq_openpgp.moc"
