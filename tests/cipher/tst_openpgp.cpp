// OpenPGP through the encryption service, against the gpg command both
// ways, in a GnuPG home of the test's own: what a block needs, every
// verdict of decrypting one (plain, quoted, several, inside prose), what
// the service writes as gpg reads it, and the keys the picker lists.

#include "cipher/openpgp.h"
#include "cipher/service.h"
#include "cipher/strong.h"
#include "tests/support/gnupghome.h"

#include <QTest>

using cipher::Bytes;
using cipher::BytesView;
using namespace cipher::service;
using namespace Qt::StringLiterals;
namespace openpgp = cipher::openpgp;

namespace {

Bytes bytes(const QByteArray &a)
{
    return a.toStdString();
}

QByteArray qbytes(BytesView s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// Every line with the prefix; empty lines with the prefix's blanks dropped,
// as mail programs quote them.
Bytes quoted(BytesView text, BytesView prefix)
{
    Bytes out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t feed = text.find('\n', at);
        if (feed == BytesView::npos)
            feed = text.size();
        const BytesView line = text.substr(at, feed - at);
        out += line.empty() ? Bytes(prefix.substr(0, prefix.find_last_not_of(' ') + 1))
                            : Bytes(prefix) + Bytes(line);
        if (feed < text.size())
            out += '\n';
        at = feed + 1;
    }
    return out;
}

Bytes withCrLf(BytesView text)
{
    Bytes out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

class TestOpenPgp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void whatABlockNeeds();
    void decryptVerdictsAndTheTextAround();
    void encryptedHereReadByGpg();
    void keysForThePicker();
    void passwordRules();
    void keyPassphraseGoesToGnuPGsPinentry();
    void noAgentIsToldAsSuch();

private:
    testsupport::GnuPGHome m_home;
    QByteArray m_alice, m_bob, m_dave, m_certOnly, m_expired;
    Bytes m_symmetric, m_toAlice, m_toBob, m_signed, m_signedOnly, m_signedUnknown,
        m_signedExpired, m_noMdc, m_noMdcLegacy;
    const QString m_password = u"correct horse"_s;
    const Bytes m_plain = "Meet me at noon.\ncaf\xc3\xa9";
};

void TestOpenPgp::initTestCase()
{
    QVERIFY(m_home.isValid());
    std::string why;
    QVERIFY2(openpgp::available(&why), why.c_str());
    m_alice = m_home.makeKey(u"Alice <alice@example.org>"_s);
    m_bob = m_home.makeKey(u"Bob <bob@example.org>"_s);
    m_dave = m_home.makeKey(u"Dave <dave@example.org>"_s);
    const QByteArray carol = m_home.makeKey(u"Carol <carol@example.org>"_s);
    m_certOnly = m_home.makeKey(u"Cert Only <cert@example.org>"_s, true);
    m_expired = m_home.makeKey(u"Old <old@example.org>"_s, false,
        {u"--faked-system-time"_s, u"20200101T000000"_s}, u"1d"_s);
    QVERIFY(!m_alice.isEmpty() && !m_bob.isEmpty() && !carol.isEmpty() && !m_expired.isEmpty());
    const QByteArray plain = qbytes(m_plain);
    const auto made = [&](const QStringList &args, const QString &passphrase = {}) {
        const testsupport::Run r = m_home.gpg(args + QStringList {u"-a"_s}, plain, passphrase);
        if (r.status != 0)
            qWarning() << args << r.err;
        Bytes out = bytes(r.out);
        // The message alone, without the line end gpg writes after it.
        if (out.ends_with('\n'))
            out.pop_back();
        return out;
    };
    m_symmetric = made({u"-c"_s}, m_password);
    m_toAlice = made({u"-e"_s, u"-r"_s, QString::fromLatin1(m_alice)});
    m_toBob = made({u"-e"_s, u"-r"_s, QString::fromLatin1(m_bob)});
    m_signed = made({u"-s"_s, u"-e"_s, u"-u"_s, QString::fromLatin1(m_alice), u"-r"_s,
        QString::fromLatin1(m_alice)});
    // Signed while the key was good; it has expired since.
    m_signedExpired = made({u"--faked-system-time"_s, u"20200101T120000"_s, u"-s"_s, u"-c"_s,
                               u"-u"_s, QString::fromLatin1(m_expired)},
        m_password);
    m_signedOnly = made({u"-s"_s, u"-u"_s, QString::fromLatin1(m_alice)});
    m_signedUnknown = made({u"-s"_s, u"-e"_s, u"-u"_s, QString::fromLatin1(carol), u"-r"_s,
        QString::fromLatin1(m_alice)});
    // Without integrity protection, as only an old program or a forger
    // would make one; gpg 2.2 still writes it on request.
    m_noMdc = made({u"-c"_s, u"--rfc2440"_s, u"--cipher-algo"_s, u"AES"_s}, m_password);
    m_noMdcLegacy = made({u"-c"_s, u"--rfc2440"_s, u"--cipher-algo"_s, u"CAST5"_s}, m_password);
    QVERIFY(m_noMdcLegacy.starts_with("-----BEGIN PGP MESSAGE-----"));
    m_home.forgetSecretKey(m_bob);
    m_home.forgetKey(carol);
}

void TestOpenPgp::whatABlockNeeds()
{
    const struct
    {
        const char *name;
        Bytes text;
        Needs needs;
        std::vector<std::pair<std::string, bool>> recipients; // user ID, held
        Verdict problem;
    } cases[] = {
        {"password", m_symmetric, Needs::Password, {}, Verdict::Good},
        {"quoted password", quoted(m_symmetric, "> "), Needs::Password, {}, Verdict::Good},
        {"to Alice", m_toAlice, Needs::Key, {{"Alice <alice@example.org>", true}}, Verdict::Good},
        {"to Bob, not held", m_toBob, Needs::Key, {{"Bob <bob@example.org>", false}},
            Verdict::Good},
        {"signed, not encrypted", m_signedOnly, Needs::Key, {}, Verdict::Good},
        {"ours", cipher::strong::detail::encryptWith("x", "p", {1, 8u << 10}, {}, {}),
            Needs::Password, {}, Verdict::Good},
        {"garbage", "-----BEGIN PGP MESSAGE-----\n\nnot base64 at all\n-----END PGP MESSAGE-----",
            Needs::Password, {}, Verdict::Damaged},
    };
    for (const auto &c : cases) {
        const std::vector<Found> found = find(c.text);
        QVERIFY2(found.size() == 1, c.name);
        const Requirement r = inspect(c.text, found[0]);
        QVERIFY2(r.needs == c.needs, c.name);
        QVERIFY2(r.problem.verdict == c.problem, c.name);
        QVERIFY2(r.recipients.size() == c.recipients.size(), c.name);
        for (std::size_t i = 0; i < r.recipients.size(); ++i) {
            QCOMPARE(r.recipients[i].userId, c.recipients[i].first);
            QCOMPARE(r.recipients[i].secretKeyHeld, c.recipients[i].second);
            QCOMPARE(r.recipients[i].keyId.size(), std::size_t(16));
        }
    }
}

void TestOpenPgp::decryptVerdictsAndTheTextAround()
{
    const Bytes pw = m_password.toStdString();
    const Bytes ours = cipher::strong::detail::encryptWith("ours", "a long passphrase",
        {1, 8u << 10}, {}, {});
    Bytes changed = m_symmetric;
    changed[changed.size() / 2] = changed[changed.size() / 2] == 'A' ? 'B' : 'A';
    const Bytes noEnd = m_symmetric.substr(0, m_symmetric.rfind("-----END"));
    const Bytes cut = m_symmetric.substr(0, m_symmetric.size() / 2);
    using S = Signature::Status;
    const struct
    {
        const char *name;
        Bytes text;
        int block; // which of find(text)
        Bytes password;
        Verdict verdict;
        Bytes after; // when the text is given
        S signature = S::None;
        std::string signer = {};
    } cases[] = {
        {"gpg -c", m_symmetric, 0, pw, Verdict::Good, m_plain},
        {"quoted", "Hi,\n\n" + quoted(m_symmetric, "> ") + "\n", 0, pw, Verdict::Good,
            "Hi,\n\n" + m_plain + "\n"},
        {"quoted twice", quoted(m_symmetric, "> > "), 0, pw, Verdict::Good, m_plain},
        {"quoted tight", quoted(m_symmetric, ">"), 0, pw, Verdict::Good, m_plain},
        {"CR LF", "a\r\n" + withCrLf(m_symmetric) + "\r\nb", 0, pw, Verdict::Good,
            "a\r\n" + m_plain + "\r\nb"},
        {"inside prose", "Dear Bob, here it is: " + m_symmetric + " Yours.", 0, pw,
            Verdict::Good, "Dear Bob, here it is: " + m_plain + " Yours."},
        {"second of two", m_toAlice + "\nand\n" + m_symmetric + "\nbye", 1, pw, Verdict::Good,
            m_toAlice + "\nand\n" + m_plain + "\nbye"},
        {"to a key, no password asked", "x\n" + m_toAlice, 0, {}, Verdict::Good, "x\n" + m_plain},
        {"ours after theirs", m_symmetric + "\n" + ours, 1, "a long passphrase", Verdict::Good,
            m_symmetric + "\nours"},
        {"wrong password", m_symmetric, 0, "Correct horse", Verdict::WrongPassword, {}},
        {"empty password", m_symmetric, 0, {}, Verdict::EmptyPassword, {}},
        {"password with a line break", m_symmetric, 0, pw + "\nx", Verdict::WrongPassword, {}},
        {"no secret key", m_toBob, 0, {}, Verdict::NoSecretKey, {}},
        {"a changed byte", changed, 0, pw, Verdict::Damaged, {}},
        {"cut short", cut, 0, pw, Verdict::Damaged, {}},
        // It takes the rest of the text, and its integrity check holds.
        {"no end line", noEnd, 0, pw, Verdict::Good, m_plain + "\n"},
        {"no integrity protection", m_noMdc, 0, pw, Verdict::NotIntegrityProtected, {}},
        {"no integrity protection, CAST5", m_noMdcLegacy, 0, pw, Verdict::NotIntegrityProtected,
            {}},
        {"signed", m_signed, 0, {}, Verdict::Good, m_plain, S::Good, "Alice <alice@example.org>"},
        {"signed by an unknown key", m_signedUnknown, 0, {}, Verdict::Good, m_plain,
            S::UnknownKey},
        {"signed, not encrypted", m_signedOnly, 0, {}, Verdict::Good, m_plain, S::Good,
            "Alice <alice@example.org>"},
        {"signed by a key expired since", m_signedExpired, 0, pw, Verdict::Good, m_plain, S::Good,
            "Old <old@example.org> (the key has expired)"},
    };
    for (const auto &c : cases) {
        Bytes text = c.text;
        const std::vector<Found> found = find(text);
        QVERIFY2(int(found.size()) > c.block, c.name);
        const Result r = decrypt(text, found[std::size_t(c.block)], c.password);
        QVERIFY2(r.verdict() == c.verdict,
            qPrintable(QStringLiteral("%1: %2 %3")
                           .arg(QLatin1String(c.name))
                           .arg(int(r.verdict()))
                           .arg(QString::fromStdString(r.told.empty() ? "" : r.told[0].what))));
        QVERIFY2(r.replaced == (c.verdict == Verdict::Good), c.name);
        QVERIFY2(text == (r.replaced ? c.after : Bytes()), (c.name + (": " + text)).c_str());
        QVERIFY2(r.signature.status == c.signature, c.name);
        if (!c.signer.empty())
            QCOMPARE(r.signature.signer, c.signer);
    }
    // The key IDs the message is for are named, and so is their holder.
    Bytes text = m_toBob;
    const Result r = decrypt(text, pw);
    QCOMPARE(r.verdict(), Verdict::NoSecretKey);
    QVERIFY2(QByteArray::fromStdString(r.told[0].what).contains("(Bob <bob@example.org>)"),
        r.told[0].what.c_str());
    QCOMPARE(message(r.told[0]).exitStatus, 5);
    // The old call takes the first block, theirs or ours.
    text = quoted(m_symmetric, "> ") + "\n" + ours;
    QCOMPARE(decrypt(text, pw).verdict(), Verdict::Good);
    QCOMPARE(text, m_plain + "\n" + ours);
}

void TestOpenPgp::encryptedHereReadByGpg()
{
    const Bytes pw = m_password.toStdString();
    const auto gpgReads = [&](const Bytes &block, const QString &passphrase = {}) {
        const testsupport::Run r = m_home.gpg({u"-d"_s}, qbytes(block), passphrase);
        return r.status == 0 ? bytes(r.out) : "gpg failed: " + bytes(r.err);
    };
    Bytes text = m_plain;
    Result r = encrypt(text, kOpenPgpPassword, pw, pw, 0);
    QCOMPARE(r.verdict(), Verdict::Good);
    QCOMPARE(r.kind, Kind::OpenPgp);
    QVERIFY(text.starts_with("-----BEGIN PGP MESSAGE-----\n"));
    QVERIFY(text.ends_with("\n-----END PGP MESSAGE-----")); // and nothing after it
    QCOMPARE(gpgReads(text, m_password), m_plain);
    // And back through the service, quoted in a reply.
    Bytes reply = quoted(text, "> ");
    QCOMPARE(decrypt(reply, pw).verdict(), Verdict::Good);
    QCOMPARE(reply, m_plain);

    text = m_plain;
    r = encryptFor(text, {m_alice.toStdString(), m_bob.toStdString()});
    QCOMPARE(r.verdict(), Verdict::Good);
    QCOMPARE(gpgReads(text), m_plain);
    QCOMPARE(inspect(text, find(text)[0]).recipients.size(), std::size_t(2));

    const struct
    {
        QByteArray key;
        const char *why;
    } refused[] = {{m_certOnly, "no encryption subkey"}, {m_expired, "expired"},
        {"0000000000000000000000000000000000000000", "no such key"}};
    for (const auto &c : refused) {
        text = m_plain;
        r = encryptFor(text, {m_alice.toStdString(), c.key.toStdString()});
        QCOMPARE(r.verdict(), Verdict::KeyUnusable);
        QVERIFY2(r.told[0].what.find(c.why) != std::string::npos, r.told[0].what.c_str());
        QVERIFY(text.empty() && !r.replaced);
    }
}

void TestOpenPgp::keysForThePicker()
{
    const std::vector<openpgp::Key> keys = openpgp::listKeys();
    const auto keyOf = [&](const QByteArray &fingerprint) {
        for (const openpgp::Key &k : keys)
            if (k.fingerprint == fingerprint.toStdString())
                return k;
        return openpgp::Key {};
    };
    const struct
    {
        QByteArray fingerprint;
        const char *email;
        bool secret, canEncrypt;
        const char *whyNot, *validity;
    } expected[] = {
        {m_alice, "alice@example.org", true, true, "", "ultimate"},
        {m_bob, "bob@example.org", false, true, "", "ultimate"},
        {m_certOnly, "cert@example.org", true, false, "no encryption subkey", "ultimate"},
        {m_expired, "old@example.org", true, false, "expired", "expired"},
    };
    QCOMPARE(keys.size(), std::size_t(5));
    for (const auto &e : expected) {
        const openpgp::Key k = keyOf(e.fingerprint);
        QCOMPARE(k.email, std::string(e.email));
        QCOMPARE(k.secret, e.secret);
        QCOMPARE(k.canEncrypt, e.canEncrypt);
        QCOMPARE(k.whyNot, std::string(e.whyNot));
        QCOMPARE(k.validity, std::string(e.validity));
        QCOMPARE(k.keyId, k.fingerprint.substr(24));
    }
    QVERIFY(keyOf(m_expired).expires > 0 && keyOf(m_alice).expires == 0);
    // The first usable secret key, or gpg's default-key.
    QCOMPARE(openpgp::defaultSecretKey()->fingerprint, m_alice.toStdString());
    m_home.write(u"gpg.conf"_s, "no-auto-key-retrieve\ndefault-key " + m_dave + "\n");
    QCOMPARE(openpgp::defaultSecretKey()->fingerprint, m_dave.toStdString());
    QCOMPARE(openpgp::findKeys("bob@example.org").size(), std::size_t(1));
}

void TestOpenPgp::passwordRules()
{
    const struct
    {
        Bytes password, confirmation;
        std::vector<Verdict> told;
        const char *window;
    } cases[] = {
        {"a", "a", {}, ""},
        {"", "x", {Verdict::EmptyPassword, Verdict::PasswordsDiffer}, "You must enter a password."},
        {"a\nb", "a\nb", {Verdict::PasswordCharacter},
            "The password cannot contain a line break at position 2."},
        {Bytes(256, 'p'), Bytes(256, 'p'), {Verdict::PasswordTooLong},
            "An OpenPGP password takes at most 255 bytes."},
    };
    for (const auto &c : cases) {
        const std::vector<Fact> told = checkPasswords(c.password, c.confirmation, kOpenPgpPassword);
        QCOMPARE(told.size(), c.told.size());
        for (std::size_t i = 0; i < told.size(); ++i)
            QCOMPARE(told[i].verdict, c.told[i]);
        if (!told.empty())
            QCOMPARE(message(told[0]).text, std::string(c.window));
    }
    // The longest password the method takes opens what it made.
    Bytes text = "x";
    const Bytes longest(kOpenPgpMaxPassword, '\xe9');
    Result r = encrypt(text, kOpenPgpPassword, longest, longest);
    QVERIFY2(r.replaced, r.told.empty() ? "" : r.told[0].what.c_str());
    r = decrypt(text, longest);
    QVERIFY2(r.verdict() == Verdict::Good, r.told.empty() ? "" : r.told[0].what.c_str());
    QCOMPARE(text, Bytes("x"));
}

void TestOpenPgp::keyPassphraseGoesToGnuPGsPinentry()
{
    const QByteArray erin = m_home.makeKey(
        u"Erin <erin@example.org>"_s, false, {}, u"never"_s, u"key passphrase"_s);
    m_home.usePinentry("key passphrase");
    const Bytes message = bytes(
        m_home.gpg({u"-e"_s, u"-a"_s, u"-r"_s, QString::fromLatin1(erin)}, qbytes(m_plain)).out);
    const Requirement needs = inspect(message, find(message)[0]);
    QCOMPARE(needs.needs, Needs::Key);
    QCOMPARE(m_home.pinentryAsks(), 0); // finding out asks nothing
    // A password given for the message never goes to the key.
    Bytes text = message;
    const Result r = decrypt(text, find(text)[0], "not the key's");
    QVERIFY2(r.verdict() == Verdict::Good, r.told.empty() ? "" : r.told[0].what.c_str());
    QCOMPARE(text, m_plain + "\n");
    QCOMPARE(m_home.pinentryAsks(), 1);
}

void TestOpenPgp::noAgentIsToldAsSuch()
{
    // An agent that does not start: the verdict says so, nothing hangs.
    m_home.write(u"gpg.conf"_s, "agent-program /bin/false\n");
    m_home.gpg({u"--version"_s});
    testsupport::run(u"gpgconf"_s, {u"--kill"_s, u"gpg-agent"_s});
    Bytes text = m_plain;
    const Bytes pw = m_password.toStdString();
    Result r = encrypt(text, kOpenPgpPassword, pw, pw);
    QCOMPARE(r.verdict(), Verdict::NoOpenPgp);
    QVERIFY2(r.told[0].what.find("agent") != std::string::npos, r.told[0].what.c_str());
    text = m_symmetric;
    r = decrypt(text, pw);
    QCOMPARE(r.verdict(), Verdict::NoOpenPgp);
    QCOMPARE(inspect(m_symmetric, find(m_symmetric)[0]).problem.verdict, Verdict::NoOpenPgp);
    m_home.write(u"gpg.conf"_s, "no-auto-key-retrieve\n");
}

QTEST_GUILESS_MAIN(TestOpenPgp)
#include "tst_openpgp.moc"
