#pragma once

// A GnuPG home of a test's own: keys made in the test, nothing of the
// user's touched, no keyserver ever asked. Its path is short, since
// gpg-agent's sockets live in it and a socket path stops at about 107
// bytes. Set as GNUPGHOME for the test process (and so for GPGME and every
// program it starts) while it lives; its agent is stopped at the end.

#include "tests/support/process.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <unistd.h>

namespace testsupport {

using namespace Qt::StringLiterals;

class GnuPGHome
{
public:
    GnuPGHome()
    {
        QByteArray pattern = "/tmp/vlqg.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return;
        m_path = QString::fromLocal8Bit(pattern);
        m_previous = qgetenv("GNUPGHOME");
        m_hadPrevious = qEnvironmentVariableIsSet("GNUPGHOME");
        qputenv("GNUPGHOME", pattern);
        // Only the local keyring: no key is ever fetched to check a
        // signature or to find an address.
        write(u"gpg.conf"_s, "no-auto-key-retrieve\nauto-key-locate local\ntrust-model pgp\n");
        write(u"gpg-agent.conf"_s, "allow-loopback-pinentry\n");
    }
    ~GnuPGHome()
    {
        if (m_path.isEmpty())
            return;
        run(u"gpgconf"_s, {u"--kill"_s, u"all"_s});
        QDir(m_path).removeRecursively();
        if (m_hadPrevious)
            qputenv("GNUPGHOME", m_previous);
        else
            qunsetenv("GNUPGHOME");
    }
    GnuPGHome(const GnuPGHome &) = delete;
    GnuPGHome &operator=(const GnuPGHome &) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }

    // gpg in batch mode on this home; a passphrase, when given, through
    // loopback pinentry.
    Run gpg(const QStringList &arguments, const QByteArray &input = {},
        const QString &passphrase = {}) const
    {
        QStringList all {u"--batch"_s, u"--no-tty"_s, u"--yes"_s};
        if (!passphrase.isNull())
            all << u"--pinentry-mode"_s << u"loopback"_s << u"--passphrase"_s << passphrase;
        return run(u"gpg"_s, all + arguments, input);
    }

    // A key for signing and certifying (ed25519) with an encryption subkey
    // (cv25519) unless certifyOnly, without a passphrase unless given; its
    // fingerprint.
    // Extra arguments go before the command: with --faked-system-time in
    // the past and an expiry, one that has expired.
    QByteArray makeKey(const QString &userId, bool certifyOnly = false,
        const QStringList &extra = {}, const QString &expiry = u"never"_s,
        const QString &passphrase = u""_s) const
    {
        const Run made = gpg(extra
                + QStringList {u"--status-fd"_s, u"1"_s, u"--quick-gen-key"_s, userId,
                    u"ed25519"_s, u"sign,cert"_s, expiry},
            {}, passphrase);
        const qsizetype at = made.out.indexOf("KEY_CREATED ");
        if (at < 0)
            return {};
        const QByteArray fingerprint = made.out.mid(at + 14, 40);
        if (!certifyOnly)
            gpg(extra
                    + QStringList {u"--quick-add-key"_s, QString::fromLatin1(fingerprint),
                        u"cv25519"_s, u"encr"_s, expiry},
                {}, passphrase);
        return fingerprint;
    }

    // Keeps the public key only, as for a correspondent's.
    void forgetSecretKey(const QByteArray &fingerprint) const
    {
        gpg({u"--delete-secret-keys"_s, QString::fromLatin1(fingerprint)});
    }
    void forgetKey(const QByteArray &fingerprint) const
    {
        gpg({u"--delete-secret-and-public-key"_s, QString::fromLatin1(fingerprint)});
    }

    // GnuPG's own pinentry, as a user answering it: every ask gets the
    // passphrase, and each is counted in pinentry-asks. The agent forgets
    // what it had cached.
    void usePinentry(const QByteArray &passphrase) const
    {
        const QString program = m_path + u"/pinentry"_s;
        write(u"pinentry"_s,
            "#!/bin/sh\n"
            "echo 'OK ready'\n"
            "while read -r command rest; do\n"
            "  case \"$command\" in\n"
            "    GETPIN) echo asked >> '" + m_path.toLocal8Bit() + "/pinentry-asks'; echo 'D "
                + passphrase + "'; echo OK ;;\n"
            "    BYE) echo OK; exit 0 ;;\n"
            "    *) echo OK ;;\n"
            "  esac\n"
            "done\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(u"gpg-agent.conf"_s, "allow-loopback-pinentry\npinentry-program " + program.toLocal8Bit() + "\n");
        run(u"gpgconf"_s, {u"--reload"_s, u"gpg-agent"_s});
    }
    int pinentryAsks() const
    {
        QFile file(m_path + u"/pinentry-asks"_s);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    void write(const QString &name, const QByteArray &content) const
    {
        QFile file(m_path + u'/' + name);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }

private:
    QString m_path;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

} // namespace testsupport
