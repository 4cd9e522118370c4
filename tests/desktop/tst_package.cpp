// The Debian package as Debian checks packages: desktop/build-package makes
// it (a hardened release build of its own), lintian finds nothing to warn
// about, its fields say what the project says, its version sorts before the
// final release, and the programs it holds work.

#include "tests/support/process.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using testsupport::run;
using testsupport::Run;

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lintianFindsNothingToFix();
    void fields();
    void programsWork();

private:
    QString m_deb;
    QTemporaryDir m_tree;
};

void TestPackage::initTestCase()
{
    if (VLQ_SANITIZED) {
        QSKIP("The package is a release build without sanitizers; the suite of the "
              "ordinary build (./dev test) builds and checks it.");
    }
    const QString source = qEnvironmentVariable("VLQ_SOURCE_DIR");
    const Run build = run(source + "/desktop/build-package"_L1, {}, {}, 1700000);
    QVERIFY2(build.status == 0, build.err.right(4000).constData());
    m_deb = QString::fromLocal8Bit(build.out.trimmed().split('\n').last());
    QVERIFY2(m_deb.endsWith(".deb"_L1) && QFile::exists(m_deb), qPrintable(m_deb));

    QVERIFY(m_tree.isValid());
    const Run unpack = run(u"dpkg-deb"_s, {u"--extract"_s, m_deb, m_tree.path()});
    QVERIFY2(unpack.status == 0, unpack.err.constData());
}

void TestPackage::lintianFindsNothingToFix()
{
    // Errors and warnings fail, and so does any hardening tag (lintian only
    // notes a missing fortify or bindnow); other notes are listed.
    const Run lintian = run(u"lintian"_s,
        {u"--display-info"_s, u"--pedantic"_s, u"--tag-display-limit"_s, u"0"_s, m_deb});
    QStringList faults;
    for (const QByteArray &line : lintian.out.split('\n')) {
        if (line.startsWith("E: ") || line.startsWith("W: ") || line.contains(": hardening-"))
            faults << QString::fromUtf8(line);
        else if (!line.isEmpty())
            qInfo("lintian: %s", line.constData());
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    QVERIFY2(lintian.status == 0, lintian.err.constData());
}

void TestPackage::fields()
{
    const Run control = run(u"dpkg-deb"_s, {u"--field"_s, m_deb});
    QCOMPARE(control.status, 0);
    QMap<QByteArray, QByteArray> field;
    for (const QByteArray &line : control.out.split('\n')) {
        const qsizetype colon = line.indexOf(": ");
        if (colon > 0 && !line.startsWith(' '))
            field[line.left(colon)] = line.mid(colon + 2);
    }
    QCOMPARE(field["Package"], "velmorandquist");
    QCOMPARE(field["Version"], VLQ_VERSION);
    QCOMPARE(field["Section"], "non-free/editors"); // LICENSE gives no freedoms
    QCOMPARE(field["Recommends"], "xdg-utils"); // the desktop's mail route
    QCOMPARE(field["Maintainer"], "Velmorandquist developers <developers@velmorandquist.org>");
    for (const char *library : {"libsodium23", "libqt6widgets6", "libqt6keychain1"})
        QVERIFY2(field["Depends"].contains(library), library);

    // A beta: the final release, and any later one, replaces it.
    for (const char *later : {"0.98", "0.98.1", "0.99~beta1"}) {
        const Run compare = run(u"dpkg"_s,
            {u"--compare-versions"_s, QStringLiteral(VLQ_VERSION), u"lt"_s,
                QString::fromLatin1(later)});
        QVERIFY2(compare.status == 0, later);
    }
}

void TestPackage::programsWork()
{
    // The hardened release build, as the package holds it: a strong and a
    // legacy round trip through vlq, and the editor's answer on a terminal.
    const QString bin = m_tree.filePath(u"usr/bin"_s);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString passwordFile = scratch.filePath(u"password"_s);
    QFile password(passwordFile);
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write("correct horse battery\n");
    password.close();
    const struct
    {
        const char *level;
        QByteArray text;
    } cases[] = {{"3", "Line one\nline two\n"}, {"4", "Line one\nline two, \xc3\xa9\n"}};
    for (const auto &c : cases) {
        const Run sealed = run(bin + "/vlq"_L1,
            {u"encrypt"_s, u"--level"_s, QString::fromLatin1(c.level), u"--password-file"_s,
                passwordFile},
            c.text);
        QVERIFY2(sealed.status == 0, sealed.err.constData());
        QVERIFY(sealed.out.startsWith("[Encrypted_By_Velmorandquist][Begin_Encryption]"));
        const Run opened =
            run(bin + "/vlq"_L1, {u"decrypt"_s, u"--password-file"_s, passwordFile}, sealed.out);
        QVERIFY2(opened.status == 0, opened.err.constData());
        QCOMPARE(opened.out, c.text);
    }
    const Run version = run(bin + "/velmorandquist"_L1, {u"--version"_s});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith("velmorandquist "));
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
