#include "settings/store.h"
#include "tests/support/files.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace testsupport;

using settings::Error;
using settings::Store;

namespace {

const QString Root = QStringLiteral("\\software\\Qumo\\Velmorandquist");
const QString Env = Root + QStringLiteral("\\environment");
const QByteArray EnvLine = "[\\software\\Qumo\\Velmorandquist\\environment]\n";

// Restores an environment variable when a test ends, also on failure.
struct EnvGuard
{
    QByteArray name, old;
    bool had;
    explicit EnvGuard(const char *n)
        : name(n)
        , old(qgetenv(n))
        , had(qEnvironmentVariableIsSet(n))
    { }
    ~EnvGuard() { had ? qputenv(name.constData(), old) : qunsetenv(name.constData()); }
};

// Run as a second process: writes its own values and a shared one, count times.
int runWriter(const QStringList &args)
{
    Store store(args.at(0));
    const QString id = args.at(1);
    try {
        for (int i = 0; i < args.at(2).toInt(); ++i) {
            if (!store.openKey(Env, true))
                return 2;
            store.writeString(QStringLiteral("w%1_%2").arg(id).arg(i), QString::number(i));
            store.writeString(QStringLiteral("shared"), QStringLiteral("%1:%2").arg(id).arg(i));
            store.closeKey();
        }
    } catch (const Error &) {
        return 3;
    }
    return 0;
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString file() const
    {
        return m_dir->filePath(QStringLiteral("config/velmorandquist/settings"));
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void defaultPathFollowsXdg()
    {
        EnvGuard guard("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/x/cfg");
        QCOMPARE(Store::defaultFilePath(), QStringLiteral("/x/cfg/velmorandquist/settings"));
        QCOMPARE(Store().filePath(), QStringLiteral("/x/cfg/velmorandquist/settings"));
        qputenv("XDG_CONFIG_HOME", "");
        QCOMPARE(Store::defaultFilePath(),
            QDir::homePath() + QStringLiteral("/.config/velmorandquist/settings"));
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        const auto row = [](const char *tag, const QString &name, const QString &value) {
            QTest::newRow(tag) << name << value;
        };
        row("plain", QStringLiteral("e_name"), QStringLiteral("Hello"));
        row("empty text", QStringLiteral("e_smtp"), QString());
        row("empty name", QString(), QStringLiteral("default"));
        row("equals signs", QStringLiteral("a=b = c"), QStringLiteral("x = sz 3 y"));
        row("line breaks", QStringLiteral("two\nlines"), QStringLiteral("one\ntwo\r\nthree\r"));
        row("escape look-alikes", QStringLiteral("back\\slash\\"),
            QStringLiteral("C:\\n\\u0041\\0\\"));
        row("blanks at the ends", QStringLiteral(" padded "), QStringLiteral("  both  "));
        row("comment look-alikes", QStringLiteral("#hash"), QStringLiteral("; no comment"));
        row("key look-alikes", QStringLiteral("[k]"), QStringLiteral("[\\software]"));
        row("non-ASCII", QStringLiteral("Grüße"), QStringLiteral("漢字 😀 é\u00a0"));
        row("control characters", QStringLiteral("esc\x1b\x7f"), QStringLiteral("bell\x07\ttab"));
        row("unpaired surrogates", QString(QChar(0xd800)), QString(QChar(0xdc00)) + u'x');
        row("long text", QStringLiteral("big"), QStringLiteral("0123456789\n").repeated(20000));
    }

    void textRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        {
            Store writer(file());
            QVERIFY(writer.openKey(Env, true));
            writer.writeString(QStringLiteral("before"), QStringLiteral("kept"));
            writer.writeString(name, value);
            writer.writeString(QStringLiteral("after"), QStringLiteral("kept too"));
            writer.closeKey();
        }
        Store reader(file());
        QVERIFY(reader.openKey(Env, false));
        QCOMPARE(reader.readString(name), value);
        QCOMPARE(reader.readString(QStringLiteral("before")), QStringLiteral("kept"));
        QCOMPARE(reader.readString(QStringLiteral("after")), QStringLiteral("kept too"));
        // Readable text: valid UTF-8, one line per key and value.
        const QByteArray bytes = fileBytes(file());
        QVERIFY(QString::fromUtf8(bytes).toUtf8() == bytes);
        const QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(std::count_if(lines.begin(), lines.end(),
                     [](const QByteArray &l) { return !l.isEmpty() && !l.startsWith('#'); }),
            4 + 3);
    }

    // Values as users or other tools may write them into the file.
    void valueLines_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("expected");
        const QString invalid = QStringLiteral("Invalid data type for 'v'");
        QTest::newRow("sz") << QByteArray("v = sz 5 Hello") << QStringLiteral("Hello");
        QTest::newRow("expand_sz") << QByteArray("v = expand_sz 4 $H/x") << QStringLiteral("$H/x");
        QTest::newRow("dword") << QByteArray("v = dword 0x0000002a") << invalid;
        QTest::newRow("binary") << QByteArray("v = binary 3 00ff10") << invalid;
        QTest::newRow("another tool's type") << QByteArray("v = multi_sz a b") << invalid;
        QTest::newRow("ends at zero") << QByteArray("v = sz 5 ab\\0cd") << QStringLiteral("ab");
        QTest::newRow("zero first") << QByteArray("v = sz 2 \\0x") << QString();
        QTest::newRow("size zero") << QByteArray("v = sz 0") << QString();
        QTest::newRow("name case") << QByteArray("V = sz 1 x") << QStringLiteral("x");
        QTest::newRow("loose blanks") << QByteArray("  v   =  sz  2 a ") << QStringLiteral("a ");
        QTest::newRow("CRLF") << QByteArray("v = sz 2 ab\r") << QStringLiteral("ab");
        QTest::newRow("cut text") << QByteArray("v = sz 9 Hello") << QString();
        QTest::newRow("bad escape") << QByteArray("v = sz 2 \\q") << QString();
        QTest::newRow("no type") << QByteArray("v =") << QString();
        QTest::newRow("bad dword") << QByteArray("v = dword 42") << QString();
        QTest::newRow("bad binary") << QByteArray("v = binary 2 00") << QString();
        QTest::newRow("huge length") << QByteArray("v = sz 99999999999 x") << QString();
        QTest::newRow("last line counts")
            << QByteArray("v = sz 1 a\nv = sz 1 b") << QStringLiteral("b");
        QTest::newRow("mangled repeat")
            << QByteArray("v = sz 1 a\nv = sz 7 b") << QStringLiteral("a");
        QTest::newRow("commented out") << QByteArray("# v = sz 1 a") << QString();
        QTest::newRow("absent") << QByteArray("w = sz 1 a") << QString();
    }

    void valueLines()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, expected);
        QVERIFY(writeFile(file(), EnvLine + lines + '\n'));
        Store store(file());
        QVERIFY(store.openKey(Env, false));
        if (expected.startsWith(QStringLiteral("Invalid")))
            QCOMPARE(errorOf([&] { store.readString(QStringLiteral("v")); }), expected);
        else
            QCOMPARE(store.readString(QStringLiteral("v")), expected);
    }

    void storedAsWritten()
    {
        Store store(file());
        QVERIFY(store.openKey(Env, true));
        store.writeString(QStringLiteral("empty"), QString());
        store.writeString(QStringLiteral("zero"), QString::fromUtf16(u"ab\0cd", 5));
        store.writeString(QStringLiteral("E_Name"), QStringLiteral("first"));
        store.writeString(QStringLiteral("e_NAME"), QStringLiteral("second"));
        QCOMPARE(store.readString(QStringLiteral("empty")), QString());
        QCOMPARE(store.readString(QStringLiteral("zero")), QStringLiteral("ab"));
        QCOMPARE(store.readString(QStringLiteral("e_name")), QStringLiteral("second"));
        const QByteArray bytes = fileBytes(file());
        QVERIFY(bytes.contains("\nempty = sz 0\n"));
        QVERIFY(bytes.contains("\nzero = sz 5 ab\\0cd\n"));
        QVERIFY(bytes.contains("\nE_Name = sz 6 second\n")); // one line, first spelling
        QCOMPARE(bytes.count("= sz"), 3);
    }

    void withoutCurrentKey()
    {
        Store store(file());
        const auto write = [&] {
            store.writeString(QStringLiteral("start_key"), QStringLiteral("no"));
        };
        const QString failed = QStringLiteral("Failed to set data for 'start_key'");
        QCOMPARE(store.readString(QStringLiteral("start_key")), QString());
        QCOMPARE(errorOf(write), failed);
        QVERIFY(!store.openKey(Env, false)); // missing, and not created
        QVERIFY(!QFile::exists(file()));
        QCOMPARE(errorOf(write), failed);
        QVERIFY(store.openKey(Env, true));
        store.closeKey();
        QCOMPARE(errorOf(write), failed);
        QVERIFY(!store.openKey(QStringLiteral("\\bad\nname"), true)); // forgets the key
        QCOMPARE(errorOf(write), failed);
    }

    void keysAndParents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("as used") << Env + QStringLiteral("\\start_key");
        QTest::newRow("no leading backslash")
            << QStringLiteral("software\\Qumo\\Velmorandquist\\environment\\start_key");
        QTest::newRow("doubled and trailing")
            << QStringLiteral("\\\\software\\Qumo\\\\Velmorandquist\\environment\\start_key\\");
    }

    void keysAndParents()
    {
        QFETCH(QString, path);
        Store(file()).createKey(path);
        const QByteArray once = fileBytes(file());
        Store(file()).createKey(QStringLiteral("\\SOFTWARE\\qumo")); // exists already
        QCOMPARE(fileBytes(file()), once);

        Store store(file());
        for (const char *key :
            {"\\software", "\\software\\Qumo", "\\SOFTWARE\\QUMO\\velmorandquist",
                "\\software\\Qumo\\Velmorandquist\\environment\\start_key"})
            QVERIFY2(store.keyExists(QString::fromLatin1(key)), key);
        QVERIFY(!store.keyExists(QStringLiteral("\\software\\Other")));
        QVERIFY(!store.keyExists(QStringLiteral("\\software\\Qumo\\Velmorandquist\\start_key")));
        for (const char *line :
            {"\n[\\software]\n", "\n[\\software\\Qumo]\n", "\n[\\software\\Qumo\\Velmorandquist]\n",
                "\n[\\software\\Qumo\\Velmorandquist\\environment]\n",
                "\n[\\software\\Qumo\\Velmorandquist\\environment\\start_key]\n"})
            QCOMPARE(once.count(line), 1);

        for (const QString &bad : {QString(), QStringLiteral("\\"), QStringLiteral("\\a\tb"),
                 QStringLiteral("\\") + QString(256, u'k')}) {
            QCOMPARE(errorOf([&] { store.createKey(bad); }),
                QStringLiteral("Failed to create key ") + bad);
            QVERIFY(!store.openKey(bad, true));
            QVERIFY(!store.keyExists(bad));
        }
        QCOMPARE(fileBytes(file()), once);
    }

    // Hand edits and lines the store does not understand survive its writes.
    void strayLinesKept()
    {
        const QByteArray original = "# my notes\n" + EnvLine
            + "; comment\ne_name = sz 99 cut\nstray text\ne_smtp = sz 4 mail\n"
              "[\\bad\\key\x01]\nv = sz 1 x\n";
        QVERIFY(writeFile(file(), original));
        Store store(file());
        QVERIFY(store.openKey(Env, true));
        QCOMPARE(store.readString(QStringLiteral("e_name")), QString());
        QCOMPARE(store.readString(QStringLiteral("v")), QString());
        store.writeString(QStringLiteral("e_name"), QStringLiteral("ok"));
        QCOMPARE(store.readString(QStringLiteral("e_name")), QStringLiteral("ok"));
        QCOMPARE(store.readString(QStringLiteral("e_smtp")), QStringLiteral("mail"));
        QByteArray expected = original;
        expected.replace("e_name = sz 99 cut", "e_name = sz 2 ok");
        expected.replace("# my notes\n", // keys above are written out
            "# my notes\n[\\software]\n[\\software\\Qumo]\n[\\software\\Qumo\\Velmorandquist]\n");
        QCOMPARE(fileBytes(file()).replace("\n\n", "\n"), expected);
    }

    void foreignFileUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("zero bytes") << QByteArray(EnvLine + QByteArray("v = sz 1 a\n\0\x01", 13));
        QTest::newRow("not UTF-8") << QByteArray(EnvLine + "v = sz 1 \xff\n");
        QTest::newRow("no key line") << QByteArray("some other program's file\nv = 1\n");
    }

    void foreignFileUntouched()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(file(), content));
        Store store(file());
        QVERIFY(!store.keyExists(Env));
        QVERIFY(!store.openKey(Env, true));
        QCOMPARE(store.readString(QStringLiteral("v")), QString());
        QCOMPARE(errorOf([&] { store.createKey(Root); }),
            QStringLiteral("Failed to create key %1.\nThe settings file %2 cannot be written: it "
                           "is not a settings file of this program")
                .arg(Root, file()));
        QCOMPARE(fileBytes(file()), content);
    }

    void unwritableLocation_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("folder under a regular file") << QStringLiteral("file");
        QTest::newRow("read-only folder") << QStringLiteral("folder");
        QTest::newRow("read-only settings file") << QStringLiteral("settings");
    }

    void unwritableLocation()
    {
        QFETCH(QString, setup);
        EnvGuard guard("XDG_CONFIG_HOME");
        QString config = m_dir->filePath(QStringLiteral("config"));
        QString locked; // made read-only, made writable again at the end
        if (setup == u"file") {
            QVERIFY(writeFile(m_dir->filePath(QStringLiteral("blocker")), "x"));
            config = m_dir->filePath(QStringLiteral("blocker/config"));
        } else {
            Store(file()).createKey(Env + QStringLiteral("\\start_key"));
            locked = setup == u"folder" ? QFileInfo(file()).absolutePath() : file();
            QFile(locked).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        const auto restore = qScopeGuard([&] {
            if (!locked.isEmpty())
                QFile(locked).setPermissions(
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        // A settings file without write bits is read-only even for root.
        if (setup == u"folder" && QFileInfo(locked).isWritable())
            QSKIP("Permissions do not stop this user (root) from writing");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        const QByteArray before = fileBytes(file());

        Store store;
        QVERIFY(!store.keyExists(Root)); // even when it is in the file
        // The error's first line as ever, the second says which file and why.
        const QString why = setup == u"file" ? QStringLiteral("its folder %1 cannot be made")
                                                   .arg(QFileInfo(store.filePath()).absolutePath())
            : setup == u"folder" ? QStringLiteral("its folder is read-only")
                                 : QStringLiteral("it is read-only");
        const QString second =
            QStringLiteral(".\nThe settings file %1 cannot be written: ").arg(store.filePath())
            + why;
        QCOMPARE(errorOf([&] { store.createKey(Root); }),
            QStringLiteral("Failed to create key \\software\\Qumo\\Velmorandquist") + second);
        QVERIFY(!store.openKey(Env + QStringLiteral("\\start_key"), true));
        QCOMPARE(store.readString(QStringLiteral("start_key")), QString());
        QCOMPARE(
            errorOf([&] { store.writeString(QStringLiteral("start_key"), QStringLiteral("no")); }),
            QStringLiteral("Failed to set data for 'start_key'") + second);
        QCOMPARE(fileBytes(file()), before);
        if (setup == u"settings")
            QCOMPARE(QFile::permissions(file()) & 0x7000,
                QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

    // Each open and read sees the file as it is now, and a write changes only its value.
    void twoStoresShareFile()
    {
        Store a(file());
        Store b(file());
        QVERIFY(a.openKey(Env, true));
        QVERIFY(b.openKey(Env, true));
        a.writeString(QStringLiteral("x"), QStringLiteral("from a"));
        b.writeString(QStringLiteral("y"), QStringLiteral("from b"));
        b.writeString(QStringLiteral("shared"), QStringLiteral("b"));
        a.writeString(QStringLiteral("shared"), QStringLiteral("a"));
        QCOMPARE(a.readString(QStringLiteral("y")), QStringLiteral("from b"));
        QCOMPARE(b.readString(QStringLiteral("x")), QStringLiteral("from a"));
        QCOMPARE(b.readString(QStringLiteral("shared")), QStringLiteral("a"));
    }

    // A lock left behind by a copy that crashed elsewhere does not block the store.
    void staleLockBroken()
    {
        QVERIFY(
            writeFile(file() + QStringLiteral(".lock"), "12345\nvelmorandquist\nanother-host\n"));
        QFile lock(file() + QStringLiteral(".lock"));
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(
            QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        lock.close();
        Store store(file());
        store.createKey(Root);
        QVERIFY(store.keyExists(Root));
    }

    void twoProcesses()
    {
        const int count = 100;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const char *id : {"1", "2"}) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--writer"), file(), QString::fromLatin1(id),
                    QString::number(count)});
        }
        // Meanwhile a reader never sees a half-written file.
        Store reader(file());
        const QRegularExpression written(QStringLiteral("^([12]:\\d+)?$"));
        while (writers[0]->state() != QProcess::NotRunning
            || writers[1]->state() != QProcess::NotRunning) {
            if (reader.openKey(Env, false))
                QVERIFY(written.match(reader.readString(QStringLiteral("shared"))).hasMatch());
            reader.closeKey();
            for (const auto &w : writers)
                w->waitForFinished(1);
        }
        for (const auto &w : writers) {
            QCOMPARE(w->exitStatus(), QProcess::NormalExit);
            QCOMPARE(w->exitCode(), 0);
        }
        QVERIFY(reader.openKey(Env, false));
        for (int i = 0; i < count; ++i) {
            QCOMPARE(reader.readString(QStringLiteral("w1_%1").arg(i)), QString::number(i));
            QCOMPARE(reader.readString(QStringLiteral("w2_%1").arg(i)), QString::number(i));
        }
        const QString last = reader.readString(QStringLiteral("shared"));
        QVERIFY2(last == QStringLiteral("1:%1").arg(count - 1)
                || last == QStringLiteral("2:%1").arg(count - 1),
            qPrintable(last));
        QCOMPARE(fileBytes(file()).count(" = sz "), 2 * count + 1);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == u"--writer")
        return runWriter(args.mid(2));
    TestSettingsStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsstore.moc"
