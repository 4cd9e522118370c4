// The small windows around the main one (splash, start-up notice, about),
// the help window, and the pictures they and the toolbars are drawn from.

#include "assets/assets.h"
#include "editor/aboutwindow.h"
#include "editor/noticewindow.h"
#include "editor/splashwindow.h"
#include "gui/form.h"
#include "gui/helpwindow.h"
#include "settings/store.h"
#include "settings/values.h"
#include "tests/support/scriptedmodal.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <functional>
#include <memory>

using namespace editor;
using gui::Answer;
using gui::HelpWindow;
using settings::Store;
using testsupport::child;
using testsupport::ScriptedModal;

namespace {

const QString kStartKey = settings::startKeyPath();

// Points the settings store at another config folder for its lifetime.
class ConfigHome
{
public:
    explicit ConfigHome(const QString &path)
        : m_old(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path));
    }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", m_old); }

private:
    QByteArray m_old;
};

// Notes whether a window was still on screen when each message box came.
class WatchingUi : public ScriptedModal
{
public:
    QWidget *watched = nullptr;
    QList<bool> watchedVisible;

    Answer message(const gui::MessageRequest &request) override
    {
        watchedVisible << (watched && watched->isVisible());
        return ScriptedModal::message(request);
    }
};

std::unique_ptr<QWidget> makeWindow(const QString &name)
{
    if (name == "TForm4")
        return std::make_unique<NoticeWindow>();
    if (name == "TForm5")
        return std::make_unique<SplashWindow>();
    return std::make_unique<AboutWindow>();
}

// True when the picture has real content: opaque pixels in many colours.
bool isDrawn(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                colours.insert(image.pixel(x, y));
    return colours.size() >= 3;
}

QSize expectedDesignSize(const QString &name)
{
    if (name == "splash")
        return assets::kSplashSize;
    if (name == "about")
        return assets::kAboutSize;
    if (name == "icon")
        return QSize(64, 64);
    if (name == "van")
        return assets::kVanSize;
    if (name.startsWith("toolbar/"))
        return assets::kToolbarSize;
    return assets::kGlyphSize;
}

QStringList anchorNames(const QTextDocument &document)
{
    QStringList names;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            names << it.fragment().charFormat().anchorNames();
    return names;
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase() { gui::setApplicationTitle("Velmorandquist"); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        delete HelpWindow::instance();
        m_dir.reset();
    }

    void frames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("client");
        QTest::newRow("splash") << "TForm5" << QString() << QSize(333, 253);
        QTest::newRow("notice") << "TForm4"
                                << "Velmorandquist" << QSize(352, 201);
        QTest::newRow("about") << "TForm6"
                               << "About Velmorandquist" << QSize(331, 198);
    }

    // Captions, client sizes, fixed borders, and centred on the screen.
    void frames()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QSize, client);
        const auto window = makeWindow(name);
        QCOMPARE(window->objectName(), name);
        QCOMPARE(window->windowTitle(), caption);
        QCOMPARE(window->size(), client);
        QCOMPARE(window->minimumSize(), client);
        QCOMPARE(window->maximumSize(), client);
        const Qt::WindowFlags flags = window->windowFlags();
        if (name == "TForm5") {
            QCOMPARE(window->windowType(), Qt::SplashScreen);
            QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        } else {
            QCOMPARE(window->windowType(), Qt::Dialog);
            QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
            QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
            QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
            QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
            QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QPoint offCentre =
            window->frameGeometry().center() - window->screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QString::number(offCentre.x())));
        window->hide();
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("bevel");
        QTest::newRow("splash") << "TForm5" << QSize(321, 241) << 3;
        QTest::newRow("about") << "TForm6" << QSize(316, 150) << 2;
    }

    // The picture is really there (the resources are linked in) and sits in
    // its two bevels, raised outside and lowered inside, within the window.
    void pictures()
    {
        QFETCH(QString, name);
        QFETCH(QSize, picture);
        QFETCH(int, bevel);
        const auto window = makeWindow(name);
        QFrame *panel = &child<QFrame>(*window, "Panel1");
        QLabel *image = &child<QLabel>(*window, "Image1");
        const QPixmap pixmap = image->pixmap();
        QVERIFY(!pixmap.isNull());
        QCOMPARE(pixmap.deviceIndependentSize().toSize(), picture);
        QVERIFY(isDrawn(pixmap));
        QCOMPARE(image->size(), picture);
        QCOMPARE(panel->size(), picture + QSize(4 * bevel, 4 * bevel));
        QVERIFY(QRect(QPoint(), window->size()).contains(panel->geometry()));
        QCOMPARE(panel->frameShadow(), QFrame::Raised);
        QCOMPARE(panel->lineWidth(), bevel);
        auto *inner = qobject_cast<QFrame *>(image->parentWidget());
        QVERIFY(inner && inner->parentWidget() == panel);
        QCOMPARE(inner->frameShadow(), QFrame::Sunken);
        QCOMPARE(inner->lineWidth(), bevel);
        // The picture shows inside both bevels, not under them.
        QCOMPARE(image->mapTo(panel, QPoint()), QPoint(2 * bevel, 2 * bevel));
        if (name == "TForm5")
            QCOMPARE(panel->geometry(), QRect(QPoint(), window->size()));
    }

    void noticeContent()
    {
        NoticeWindow form;
        QCOMPARE(child<QPlainTextEdit>(form, "Memo1").size(), QSize(337, 153));
        QVERIFY(child<QPlainTextEdit>(form, "Memo1").isReadOnly());
        QCOMPARE(
            child<QPlainTextEdit>(form, "Memo1").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(child<QPlainTextEdit>(form, "Memo1").document()->blockCount(), 18);
        const QString text = child<QPlainTextEdit>(form, "Memo1").toPlainText();
        QCOMPARE(text.split('\n').size(), 18);
        for (const char *part : {"beta", "not implemented", "Quick Mail", "mail server",
                 "qumo.example", "Qumo", "rights"})
            QVERIFY2(text.contains(QLatin1String(part)), part);
        QCOMPARE(
            child<QCheckBox>(form, "CheckBox1").text(), "Do not show this message on start up.");
        QVERIFY(!child<QCheckBox>(form, "CheckBox1").isChecked());
        QCOMPARE(child<QPushButton>(form, "Button1").text(), "&OK");
        QVERIFY(
            QRect(QPoint(), form.size()).contains(child<QPushButton>(form, "Button1").geometry()));
        QVERIFY(
            QRect(QPoint(), form.size()).contains(child<QCheckBox>(form, "CheckBox1").geometry()));
    }

    void noticeFlow_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::addColumn<bool>("pressOk");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<int>("result");
        QTest::newRow("OK, ticked") << true << true << true << int(QDialog::Accepted);
        QTest::newRow("OK, unticked") << false << true << false << int(QDialog::Accepted);
        QTest::newRow("close box, ticked") << true << false << false << int(QDialog::Rejected);
        QTest::newRow("close box, unticked") << false << false << false << int(QDialog::Rejected);
    }

    // Only OK with the box ticked stores "no"; nothing else writes at all.
    void noticeFlow()
    {
        QFETCH(bool, tick);
        QFETCH(bool, pressOk);
        QFETCH(bool, stored);
        QFETCH(int, result);
        ConfigHome home(m_dir->filePath("config"));
        ScriptedModal ui;
        NoticeWindow form;
        ui.onModal("TForm4", [&](QDialog &dialog) {
            if (tick)
                QTest::mouseClick(&child<QCheckBox>(dialog, "CheckBox1"), Qt::LeftButton);
            if (pressOk)
                QTest::mouseClick(&child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
            else
                dialog.close();
        });
        QCOMPARE(form.showModal(), result);
        QVERIFY(!form.isVisible());
        QCOMPARE(ui.messages.size(), 0);

        Store store;
        QVERIFY(store.filePath().startsWith(m_dir->path()));
        if (stored) {
            QVERIFY(store.openKey(kStartKey, false));
            QCOMPARE(store.readString("start_key"), "no");
            store.closeKey();
        } else {
            QVERIFY(!QFile::exists(store.filePath()));
        }
    }

    // The failure shows in the error box once the notice has closed.
    void noticeUnwritableStore()
    {
        QFile blocker(m_dir->filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ConfigHome home(m_dir->filePath("blocker/config"));
        WatchingUi ui;
        NoticeWindow form;
        ui.watched = &form;
        ui.onModal("TForm4", [](QDialog &dialog) {
            child<QCheckBox>(dialog, "CheckBox1").setChecked(true);
            child<QPushButton>(dialog, "Button1").click();
        });
        QCOMPARE(form.showModal(), int(QDialog::Accepted));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text.section(u'\n', 0, 0), "Failed to set data for 'start_key'.");
        QVERIFY(ui.messages[0].text.section(u'\n', 1).startsWith("The settings file "));
        QCOMPARE(ui.messages[0].caption, "Velmorandquist");
        QCOMPARE(ui.messages[0].icon, gui::Icon::Error);
        QCOMPARE(ui.messages[0].buttons, gui::Buttons::Ok);
        QCOMPARE(ui.watchedVisible, QList<bool> {false});
    }

    // OK and the close box both end the display; the same window comes
    // back each time.
    void windowsGrowToFitTheirCaptions()
    {
        gui::Form form("TFormX", "Fit", QSize(120, 60));
        auto *label = new QLabel("A caption longer than its place", &form);
        label->setGeometry(10, 10, 50, 17);
        auto *button = new QPushButton("&OK", &form);
        button->setGeometry(70, 30, 40, 25);
        QFont big = form.font();
        big.setPointSizeF(big.pointSizeF() * 1.5);
        form.setFont(big);
        form.show();
        // One factor across: every caption whole, the arrangement kept.
        QVERIFY(label->width() >= label->sizeHint().width());
        QVERIFY(form.width() > 120);
        QCOMPARE(button->x(), qRound(70.0 * form.width() / 120));
        QVERIFY(button->geometry().right() < form.width());
        form.hide();
        // A font that fits gives the placed sizes back, never less.
        form.setFont(QApplication::font());
        label->setText("A");
        form.show();
        QCOMPARE(form.size(), QSize(120, 60));
        QCOMPARE(label->geometry(), QRect(10, 10, 50, 17));
        form.hide();
    }

    void aboutWindow()
    {
        ScriptedModal ui;
        AboutWindow form;
        QCOMPARE(child<QPushButton>(form, "Button2").text(), "&OK");
        const QIcon glyph = child<QPushButton>(form, "Button2").icon();
        QVERIFY(!glyph.isNull());
        const QImage normal = glyph.pixmap(16, QIcon::Normal).toImage();
        const QImage disabled = glyph.pixmap(16, QIcon::Disabled).toImage();
        QVERIFY(!normal.isNull() && !disabled.isNull());
        QVERIFY(normal != disabled);

        ui.onModal("TForm6", [](QDialog &dialog) {
            QTest::mouseClick(&child<QPushButton>(dialog, "Button2"), Qt::LeftButton);
        });
        ui.onModal("TForm6", [](QDialog &dialog) { dialog.close(); });
        ui.onModal(
            "TForm6", [](QDialog &dialog) { child<QPushButton>(dialog, "Button2").click(); });
        QCOMPARE(form.showModal(), int(QDialog::Accepted));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.showModal(), int(QDialog::Rejected));
        QCOMPARE(form.showModal(), int(QDialog::Accepted));
        QVERIFY(!form.isVisible());
        QCOMPARE(ui.log.count("modal TForm6"), 3);
        QVERIFY(ui.messages.isEmpty());
    }

    // Help opens beside the program without blocking it, shows the page,
    // and a second call brings back the same window.
    void helpWindow()
    {
        ScriptedModal ui;
        QVERIFY(!HelpWindow::instance());
        gui::showHelp();
        HelpWindow *window = HelpWindow::instance();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowModality(), Qt::NonModal);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!window->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(window->windowTitle(), "Velmorandquist Help");
        QCOMPARE(window->browser()->source(), assets::helpPage());
        const QString text = window->browser()->toPlainText();
        for (const char *heading : {"What the program does", "Encrypting a text",
                 "Decrypting a block", "The encrypted block", "How strong is the protection?",
                 "The file wiper", "The command-line companion vlq", "The start-up notice"})
            QVERIFY2(text.contains(QLatin1String(heading)), heading);

        window->close();
        QVERIFY(!window->isVisible());
        gui::showHelp();
        QCOMPARE(HelpWindow::instance(), window);
        QVERIFY(window->isVisible());
        gui::showHelp();
        QCOMPARE(HelpWindow::instance(), window);
        QCOMPARE(QApplication::topLevelWidgets().count(window), 1);
        QVERIFY(ui.log.isEmpty());
    }

    void helpPageMissing()
    {
        ScriptedModal ui;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No document for"));
        HelpWindow window(QUrl("qrc:/assets/help/missing.html"));
        window.show();
        QVERIFY(window.browser()->toPlainText().trimmed().isEmpty());
        QVERIFY(ui.log.isEmpty());
    }

    // The page stays on the machine: every link is an anchor of the page
    // itself, and each one leads somewhere.
    void helpPageLinks()
    {
        QFile file(assets::helpPage().toString().mid(3)); // "qrc:/..." as ":/..."
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        for (const char *outside : {"http:", "https:", "ftp:", "file:", "<img", "src=", "url("})
            QVERIFY2(!html.contains(QLatin1String(outside), Qt::CaseInsensitive), outside);

        QTextBrowser browser;
        browser.setSource(assets::helpPage());
        const QStringList anchors = anchorNames(*browser.document());
        const QRegularExpression href("href=\"([^\"]*)\"");
        int links = 0;
        for (auto it = href.globalMatch(html); it.hasNext(); ++links) {
            const QString target = it.next().captured(1);
            QVERIFY2(target.startsWith('#'), qPrintable(target));
            QVERIFY2(anchors.contains(target.mid(1)), qPrintable(target));
        }
        QVERIFY(links >= 10);
    }

    // Every picture in the resources is a valid drawing of its design size
    // that Qt renders without complaint, and every drawing in the folder is
    // in the resources.
    void svgResources()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        assets::registerResources();
        QStringList compiled;
        for (QDirIterator it(":/assets", {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            compiled << path.mid(int(qstrlen(":/assets/"))).chopped(4);
        }
        compiled.sort();

        QStringList expected = {"splash", "about", "icon", "glyphs/ok", "glyphs/cancel",
            "glyphs/encrypt", "glyphs/decrypt", "glyphs/wipe"};
        expected << assets::toolbarPictures();
        QCOMPARE(assets::toolbarPictures().size(), 8);
        for (const QString &name : expected)
            QVERIFY2(compiled.contains(name), qPrintable(name));

        const QString source = qEnvironmentVariable("VLQ_SOURCE_DIR") + "/assets";
        if (QDir(source).exists()) {
            QStringList onDisk;
            for (QDirIterator it(source, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();)
                onDisk << QDir(source).relativeFilePath(it.next()).chopped(4);
            onDisk.sort();
            QCOMPARE(compiled, onDisk);
        }

        for (const QString &name : compiled) {
            QSvgRenderer renderer(assets::picturePath(name));
            QVERIFY2(renderer.isValid(), qPrintable(name));
            const QSize size = expectedDesignSize(name);
            QCOMPARE(renderer.defaultSize(), size);
            const QPixmap pixmap = assets::picture(name, size);
            QCOMPARE(pixmap.size(), size);
            QVERIFY2(isDrawn(pixmap), qPrintable(name));
            const QPixmap sharp = assets::picture(name, size, 2.0);
            QCOMPARE(sharp.size(), size * 2);
            QCOMPARE(sharp.deviceIndependentSize().toSize(), size);
            // The flat toolbar buttons take an image's top-left pixel as its
            // transparent colour, so it must be the background.
            if (name.startsWith("toolbar/") || name.startsWith("glyphs/"))
                QCOMPARE(qAlpha(pixmap.toImage().pixel(0, 0)), 0);
        }
        QVERIFY(!assets::windowIcon().isNull());
        QVERIFY(QFile::exists(":/assets/help/index.html"));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
