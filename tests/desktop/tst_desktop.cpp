// The programs on a terminal without a display (--help, --version), the
// manual pages against the --help texts, and an installation into a scratch
// prefix: every file in place, the icon bitmaps at their sizes, the menu
// entry, metainfo and file type accepted by the desktop's own validators and
// tools, all of them naming each other consistently, the licence stated alike
// everywhere, and the running program's windows tied to its menu entry.

#include "tests/support/process.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using testsupport::run;
using testsupport::Run;
using testsupport::withoutDisplay;

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray gunzip(const QString &path)
{
    const Run r = run(u"gzip"_s, {u"-dc"_s, path});
    return r.status == 0 ? r.out : QByteArray();
}

// The text between two markers, or empty.
QByteArray between(const QByteArray &text, const QByteArray &open, const QByteArray &close)
{
    const qsizetype start = text.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype end = text.indexOf(close, start + open.size());
    return end < 0 ? QByteArray() : text.mid(start + open.size(), end - start - open.size());
}

// A key's value in a desktop entry, as written (QSettings would take the
// first ';' for the start of a comment).
QString desktopValue(const QByteArray &entry, const QByteArray &key)
{
    for (const QByteArray &line : entry.split('\n')) {
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1));
    }
    return {};
}

// Long options named in a text: "--password-file" in --help, "\-\-password\-file"
// in troff.
QSet<QString> longOptions(QString text)
{
    text.replace("\\-"_L1, "-"_L1);
    QSet<QString> options;
    static const QRegularExpression option(u"(?<![\\w-])--[a-z][a-z-]*[a-z]"_s);
    for (auto it = option.globalMatch(text); it.hasNext();)
        options.insert(it.next().captured());
    return options;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void editorAnswersWithoutDisplay_data();
    void editorAnswersWithoutDisplay();
    void editorRefusesWhatItDoesNotKnow();
    void manPagesMatchHelp_data();
    void manPagesMatchHelp();
    void installs();
    void installedEntriesValidate();
    void installedFileType();
    void licenceStatedAlike();
    void readmeNamesThePackagesDevInstalls();
    void windowsCarryTheEntrysClass();

private:
    QString m_bin;
    QString m_source;
    QTemporaryDir m_prefix;
    QString m_share;
};

void TestDesktop::initTestCase()
{
    m_bin = qEnvironmentVariable("VLQ_BIN_DIR");
    m_source = qEnvironmentVariable("VLQ_SOURCE_DIR");
    QVERIFY(QFile::exists(m_bin + "/velmorandquist"_L1));
    QVERIFY(m_prefix.isValid());
    m_share = m_prefix.filePath(u"share"_s);

    const Run install = run(QStringLiteral(VLQ_CMAKE),
        {u"--install"_s, QStringLiteral(VLQ_BUILD_DIR), u"--prefix"_s, m_prefix.path()});
    QVERIFY2(install.status == 0, install.err.constData());
}

void TestDesktop::editorAnswersWithoutDisplay_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("expected"); // a regular expression for all of stdout
    QTest::newRow("version") << u"--version"_s << u"velmorandquist " VLQ_VERSION "\n"_s;
    const QString help =
        u"Usage: velmorandquist \\[FILE\\]\n(.|\n)*--help(.|\n)*--version(.|\n)*\n"_s;
    QTest::newRow("help") << u"--help"_s << help;
    QTest::newRow("-h") << u"-h"_s << help;
}

void TestDesktop::editorAnswersWithoutDisplay()
{
    QFETCH(QString, argument);
    QFETCH(QString, expected);
    // The built program and the installed one answer alike.
    for (const QString &dir : {m_bin, m_prefix.filePath(u"bin"_s)}) {
        const Run r = run(dir + "/velmorandquist"_L1, {argument});
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.status, 0);
        const QString out = QString::fromUtf8(r.out);
        QVERIFY2(
            QRegularExpression(QRegularExpression::anchoredPattern(expected)).match(out).hasMatch(),
            qPrintable(out));
    }
}

void TestDesktop::editorRefusesWhatItDoesNotKnow()
{
    // One line on stderr and no window, display or not.
    const struct
    {
        QStringList arguments;
        QByteArray problem;
    } cases[] = {
        {{u"--bogus"_s}, "unknown option '--bogus'"},
        {{u"--version"_s, u"-platform"_s, u"offscreen"_s}, "'--version' takes nothing else"},
    };
    for (const auto &c : cases) {
        const Run r = run(m_bin + "/velmorandquist"_L1, c.arguments);
        QCOMPARE(r.err, "velmorandquist: " + c.problem + "; try 'velmorandquist --help'.\n");
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.status, 1);
    }

    // Two files (a path with a blank, unquoted, say) are no error: the editor
    // starts empty and says why on stderr.
    QTemporaryDir config;
    QProcessEnvironment env = withoutDisplay();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, config.path());
    QProcess editor;
    editor.setProcessEnvironment(env);
    editor.start(m_bin + "/velmorandquist"_L1, {u"My"_s, u"Letter.vlq"_s});
    QVERIFY(editor.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += editor.readAllStandardError()).contains('\n'), 20000);
    QCOMPARE(err.left(err.indexOf('\n') + 1),
        "velmorandquist: more than one file named ('My' 'Letter.vlq'), so none is opened; quote a "
        "name that holds a blank.\n");
    QVERIFY(!editor.waitForFinished(1000));
    editor.kill();
    editor.waitForFinished();
}

void TestDesktop::manPagesMatchHelp_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("velmorandquist") << u"velmorandquist"_s;
    QTest::newRow("vlq") << u"vlq"_s;
}

void TestDesktop::manPagesMatchHelp()
{
    QFETCH(QString, program);
    const Run help = run(m_bin + u'/' + program, {u"--help"_s});
    QCOMPARE(help.status, 0);
    const QString page = QString::fromUtf8(read(m_source + "/desktop/man/"_L1 + program + ".1"_L1));
    QVERIFY(!page.isEmpty());

    // The same options both ways: none missing, none left over from before.
    const QSet<QString> inHelp = longOptions(QString::fromUtf8(help.out));
    QVERIFY(inHelp.contains(u"--help"_s));
    QCOMPARE(longOptions(page), inHelp);

    // The page's header carries the release's version.
    QVERIFY2(page.contains(".TH "_L1 + program.toUpper() + " 1 "_L1)
            && page.contains("\"Velmorandquist " VLQ_VERSION "\""_L1),
        "the .TH line names the page and the version");

    // man itself reads it without complaint.
    if (!QStandardPaths::findExecutable(u"man"_s).isEmpty()) {
        QProcess man;
        QProcessEnvironment env = withoutDisplay();
        env.insert(u"MANWIDTH"_s, u"80"_s);
        man.setProcessEnvironment(env);
        man.start(u"man"_s,
            {u"--warnings"_s, u"-l"_s, m_source + "/desktop/man/"_L1 + program + ".1"_L1});
        QVERIFY(man.waitForFinished(30000));
        QCOMPARE(man.exitCode(), 0);
        QCOMPARE(man.readAllStandardError(), QByteArray());
        QVERIFY(man.readAllStandardOutput().contains("SYNOPSIS"));
    }
}

void TestDesktop::installs()
{
    const QString prefix = m_prefix.path();
    const QString id = QStringLiteral(VLQ_APP_ID);
    for (const QString &file : {u"bin/velmorandquist"_s, u"bin/vlq"_s}) {
        QVERIFY2(QFileInfo(prefix + u'/' + file).isExecutable(), qPrintable(file));
    }
    for (const QString &file : {"applications/"_L1 + id + ".desktop"_L1,
             "metainfo/"_L1 + id + ".metainfo.xml"_L1, u"mime/packages/velmorandquist.xml"_s,
             u"icons/hicolor/scalable/apps/velmorandquist.svg"_s, u"doc-base/velmorandquist"_s}) {
        QVERIFY2(QFileInfo(m_share + u'/' + file).size() > 0, qPrintable(file));
    }
    const QString doc = m_share + "/doc/velmorandquist/"_L1;
    QCOMPARE(read(doc + "help/index.html"_L1), read(m_source + "/assets/help/index.html"_L1));
    QCOMPARE(read(doc + "copyright"_L1), read(m_source + "/desktop/debian/copyright"_L1));
    // Compressed as Debian ships them, from the current texts.
    for (const auto &[installed, source] :
        {std::pair {u"man/man1/velmorandquist.1.gz"_s, u"man/velmorandquist.1"_s},
            std::pair {u"man/man1/vlq.1.gz"_s, u"man/vlq.1"_s},
            std::pair {u"doc/velmorandquist/changelog.gz"_s, u"debian/changelog"_s}}) {
        const QByteArray text = read(m_source + "/desktop/"_L1 + source);
        QVERIFY(!text.isEmpty());
        QVERIFY2(gunzip(m_share + u'/' + installed) == text, qPrintable(installed));
    }

    // Each bitmap is the drawing at its size: square, not blank.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = m_share + u"/icons/hicolor/%1x%1/apps/velmorandquist.png"_s.arg(size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // the corner is outside the sheet
        QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 0);
    }

    // The installed vlq is the working program, not a stale copy.
    const Run vlq = run(m_prefix.filePath(u"bin/vlq"_s), {u"--help"_s});
    QCOMPARE(vlq.status, 0);
    QVERIFY(vlq.out.startsWith("Usage: vlq"));
}

void TestDesktop::installedEntriesValidate()
{
    const QString id = QStringLiteral(VLQ_APP_ID);
    const QString desktopFile = m_share + "/applications/"_L1 + id + ".desktop"_L1;
    const QString metainfo = m_share + "/metainfo/"_L1 + id + ".metainfo.xml"_L1;

    const Run desktop = run(u"desktop-file-validate"_s, {desktopFile});
    QVERIFY2(
        desktop.status == 0 && !desktop.out.contains("error") && !desktop.out.contains("warning"),
        desktop.out.constData());
    const Run appstream = run(u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s, metainfo});
    QVERIFY2(appstream.status == 0, appstream.out.constData());

    // What the validators do not check: that the pieces name each other.
    const QByteArray entry = read(desktopFile);
    QVERIFY(entry.startsWith("[Desktop Entry]\n"));
    QCOMPARE(desktopValue(entry, "Exec"), u"velmorandquist %f"_s);
    QCOMPARE(desktopValue(entry, "Icon"), u"velmorandquist"_s);
    QCOMPARE(desktopValue(entry, "Categories"), u"Utility;TextEditor;Security;"_s);
    QVERIFY(
        desktopValue(entry, "MimeType").split(u';').contains(u"application/x-velmorandquist"_s));
    for (const char *key : {"Name", "GenericName", "Comment", "StartupWMClass"})
        QVERIFY2(!desktopValue(entry, key).isEmpty(), key);
    const QByteArray meta = read(metainfo);
    QVERIFY(meta.contains("<id>" + id.toUtf8() + "</id>"));
    QVERIFY(
        meta.contains("<launchable type=\"desktop-id\">" + id.toUtf8() + ".desktop</launchable>"));
    QVERIFY(!between(meta, "<developer_name>", "</developer_name>").trimmed().isEmpty());

    // The release is the package's: the changelog's newest entry, same
    // version, same day.
    const QByteArray changelog = read(m_source + "/desktop/debian/changelog"_L1);
    QVERIFY(changelog.startsWith("velmorandquist (" VLQ_VERSION ") "));
    const QByteArray date = between(meta, "<release version=\"" VLQ_VERSION "\" date=\"", "\"");
    QVERIFY2(date.size() == 10, "a release of this version, with its date");
    const QDate day = QDate::fromString(QString::fromLatin1(date), Qt::ISODate);
    const QByteArray signOff = between(changelog, "\n -- ", "\n");
    QVERIFY2(signOff.contains(QLocale::c().toString(day, u"dd MMM yyyy"_s).toLatin1()),
        signOff.constData());

    // The screenshots are the README's pictures, at https addresses.
    QSet<QString> shown;
    static const QRegularExpression picture(u"\\]\\(docs/([\\w-]+\\.png)\\)"_s);
    for (auto it = picture.globalMatch(QString::fromUtf8(read(m_source + "/README.md"_L1)));
         it.hasNext();) {
        shown.insert(it.next().captured(1));
    }
    QSet<QString> listed;
    static const QRegularExpression image(u"<image>(https://[^<]+/([\\w-]+\\.png))</image>"_s);
    for (auto it = image.globalMatch(QString::fromUtf8(meta)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        listed.insert(m.captured(2));
        QVERIFY2(QFile::exists(m_source + "/docs/"_L1 + m.captured(2)), qPrintable(m.captured(1)));
    }
    QVERIFY(!shown.isEmpty());
    QCOMPARE(listed, shown);
}

void TestDesktop::installedFileType()
{
    // shared-mime-info's own compiler builds the database the desktop reads:
    // *.vlq is our type, and our type is a kind of RTF.
    const QString mime = m_share + "/mime"_L1;
    QProcessEnvironment env = withoutDisplay();
    env.insert(u"XDG_DATA_DIRS"_s, m_share);
    const Run update = run(u"update-mime-database"_s, {mime}, {}, 120000, env);
    QVERIFY2(update.status == 0 && update.err.isEmpty(), update.err.constData());
    QVERIFY(read(mime + "/globs2"_L1).contains(":application/x-velmorandquist:*.vlq"));
    QVERIFY(
        read(mime + "/subclasses"_L1).contains("application/x-velmorandquist application/rtf\n"));
    QVERIFY(QFile::exists(mime + "/application/x-velmorandquist.xml"_L1));
}

void TestDesktop::readmeNamesThePackagesDevInstalls()
{
    // ./dev's list: one "name name  # why" line each inside PACKAGES=( ... ).
    const QString dev = QString::fromUtf8(read(m_source + "/dev"_L1));
    const qsizetype from = dev.indexOf("PACKAGES=("_L1);
    QVERIFY(from >= 0);
    QStringList installed;
    for (QString line : dev.mid(from + 10, dev.indexOf("\n)"_L1, from) - from - 10).split(u'\n')) {
        line = line.section(u'#', 0, 0).simplified();
        if (!line.isEmpty())
            installed += line.split(u' ');
    }
    const QString readme = QString::fromUtf8(read(m_source + "/README.md"_L1));
    const qsizetype start = readme.indexOf("<!-- packages -->"_L1);
    const qsizetype end = readme.indexOf("<!-- /packages -->"_L1);
    QVERIFY(start >= 0 && end > start);
    const QStringList named =
        readme.mid(start + 17, end - start - 17).simplified().split(", "_L1, Qt::SkipEmptyParts);
    QCOMPARE(named, installed);
}

void TestDesktop::licenceStatedAlike()
{
    // LICENSE, the package's copyright file, the metainfo and the README say
    // the same.
    const QByteArray licence = read(m_source + "/LICENSE"_L1);
    QVERIFY(
        licence.startsWith("Copyright 2026 The Velmorandquist developers. All rights reserved.\n"));
    const QByteArray copyright = read(m_source + "/desktop/debian/copyright"_L1);
    QVERIFY(copyright.startsWith(
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
    const QByteArray name =
        between(read(m_share + "/metainfo/"_L1 + QStringLiteral(VLQ_APP_ID) + ".metainfo.xml"_L1),
            "<project_license>", "</project_license>");
    QVERIFY(!name.isEmpty());
    QVERIFY(copyright.contains("\nFiles: *\nCopyright: 2026 The Velmorandquist developers\n"
                               "License: "
        + name + '\n'));

    // The stand-alone paragraph holds LICENSE's text, folded as the format
    // folds it: one leading space, " ." for an empty line.
    const qsizetype paragraph = copyright.indexOf("\n\nLicense: " + name + '\n');
    QVERIFY(paragraph > 0);
    QByteArray text;
    for (const QByteArray &line : copyright.mid(paragraph + 12 + name.size()).split('\n')) {
        if (!line.startsWith(' '))
            break;
        text += (line == " ." ? QByteArray() : line.mid(1)) + '\n';
    }
    QCOMPARE(text, licence);

    const QByteArray readme = read(m_source + "/README.md"_L1);
    const QByteArray section = readme.mid(readme.indexOf("\n## Licence\n"));
    QVERIFY(section.size() > 12);
    QVERIFY(section.contains("2026 The Velmorandquist developers"));
    QVERIFY(section.contains("All rights reserved"));
    QVERIFY(section.contains("LICENSE"));
}

void TestDesktop::windowsCarryTheEntrysClass()
{
    // Docks tie a window to its menu entry by WM_CLASS's class, which must
    // be the entry's StartupWMClass. The installed program on a display of
    // its own until its main window is up; then every window it made is read.
    for (const char *tool : {"xvfb-run", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("needs xvfb-run and xwininfo (packages xvfb, x11-utils)");
    }
    const QByteArray entry =
        read(m_share + "/applications/"_L1 + QStringLiteral(VLQ_APP_ID) + ".desktop"_L1);
    const QString wmClass = desktopValue(entry, "StartupWMClass");
    QVERIFY(!wmClass.isEmpty());

    const QString script = uR"(
"$1" & program=$!
for i in $(seq 600); do
    windows=$(xwininfo -root -tree)
    case $windows in *'"Velmorandquist - '*) break ;; esac
    kill -0 $program || exit 1
    sleep 0.1
done
kill $program
printf '%s\n' "$windows"
)"_s;
    const Run r = run(u"xvfb-run"_s,
        {u"-a"_s, u"sh"_s, u"-c"_s, script, u"sh"_s, m_prefix.filePath(u"bin/velmorandquist"_s)});
    QVERIFY2(r.status == 0, r.err.constData());

    // A line per window: id "name": ("instance" "class") geometry.
    static const QRegularExpression window(
        u"^\\s+0x[0-9a-f]+ \"([^\"]*)\": \\(\"([^\"]*)\" \"([^\"]*)\"\\)"_s,
        QRegularExpression::MultilineOption);
    QStringList named;
    for (auto it = window.globalMatch(QString::fromUtf8(r.out)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        named << m.captured(1);
        QCOMPARE(m.captured(3), wmClass);
    }
    QVERIFY2(named.filter(u"Velmorandquist - "_s).size() == 1, qPrintable(r.out));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
