// The flat buttons driven by mouse and keys, their pictures and their layout.

#include "tests/support/scriptedmodal.h"
#include "widgets/flatbutton.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using widgets::FlatButton;

namespace {

// A picture of the given size: transparent ground, a dark square inside.
QPixmap squareGlyph(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(2, 2, side - 4, side - 4, QColor(30, 60, 90));
    return QPixmap::fromImage(image);
}

QPalette testPalette()
{
    QPalette p;
    p.setColor(QPalette::Light, QColor(250, 240, 230));
    p.setColor(QPalette::Dark, QColor(100, 90, 80));
    p.setColor(QPalette::Button, QColor(190, 180, 170));
    return p;
}

// The button drawn alone over a known colour.
QImage drawn(FlatButton &button)
{
    QImage image(button.size(), QImage::Format_RGB32);
    image.fill(QColor(1, 2, 3));
    button.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class TestFlatButton : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    FlatButton *button = nullptr;

    FlatButton *addButton(const QString &caption, QPoint at)
    {
        auto *b = new FlatButton(window.get());
        b->setText(caption);
        b->setGlyph(squareGlyph(16));
        b->setGeometry(QRect(at, QSize(60, 40)));
        b->show();
        return b;
    }

private slots:
    void init()
    {
        window = std::make_unique<QWidget>();
        window->resize(300, 200);
        window->setPalette(testPalette());
        button = addButton("&Open", QPoint(10, 10));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        testsupport::activateWindow(window.get());
    }
    void cleanup()
    {
        // Leave the mouse off every button, so the next window starts clear.
        QTest::mouseMove(window.get(), QPoint(295, 195));
        window.reset();
    }

    void hoverPressAndRelease()
    {
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        QSignalSpy entered(button, &FlatButton::mouseEntered);
        QSignalSpy left(button, &FlatButton::mouseLeft);
        const QPoint inside(30, 20);
        const QPoint outside(150, 150);

        QTest::mouseMove(window.get(), outside);
        QVERIFY(!button->isMouseOver());
        QTest::mouseMove(button, inside);
        QTRY_VERIFY(button->isMouseOver());
        QCOMPARE(entered.size(), 1);
        QCOMPARE(drawn(*button).pixel(0, 0), testPalette().color(QPalette::Light).rgb());

        // Held: sunken; dragged out: flat again and no click on release.
        QTest::mousePress(button, Qt::LeftButton, {}, inside);
        QVERIFY(button->isDown());
        QCOMPARE(drawn(*button).pixel(0, 0), testPalette().color(QPalette::Dark).rgb());
        QMouseEvent away(QEvent::MouseMove, QPointF(outside), button->mapToGlobal(QPointF(outside)),
            Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(button, &away);
        QVERIFY(!button->isDown());
        QVERIFY(!button->isMouseOver());
        QCOMPARE(drawn(*button).pixel(0, 0), QColor(1, 2, 3).rgb());
        QTest::mouseRelease(button, Qt::LeftButton, {}, outside);
        QCOMPARE(clicks.size(), 0);

        // Pressed and released inside: one click, bevel standing again.
        QTest::mouseMove(button, inside);
        QTest::mouseClick(button, Qt::LeftButton, {}, inside);
        QCOMPARE(clicks.size(), 1);
        QVERIFY(!button->isDown());
        QVERIFY(button->isMouseOver());

        QTest::mouseMove(window.get(), outside);
        QTRY_VERIFY(!button->isMouseOver());
        QVERIFY(left.size() >= 1);
        QCOMPARE(drawn(*button).pixel(0, 0), QColor(1, 2, 3).rgb());
    }

    void disabledIgnoresMouseAndLetter()
    {
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        button->setEnabled(false);
        QTest::mouseMove(button, QPoint(30, 20));
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
        QTest::keyClick(window.get(), Qt::Key_O, Qt::AltModifier);
        QCOMPARE(clicks.size(), 0);
        // No bevel, whatever the mouse does; the glyph is embossed.
        const QImage image = drawn(*button);
        QCOMPARE(image.pixel(0, 0), QColor(1, 2, 3).rgb());
        const QPoint g = button->glyphRect().topLeft();
        QCOMPARE(image.pixel(g + QPoint(2, 2)), testPalette().color(QPalette::Dark).rgb());

        button->setEnabled(true);
        QTest::keyClick(window.get(), Qt::Key_O, Qt::AltModifier);
        QCOMPARE(clicks.size(), 1);
        QVERIFY(!button->isDown());
    }

    void sharedLetterGoesRoundItsButtons()
    {
        FlatButton *encrypt = addButton("E&ncrypt", QPoint(80, 10));
        FlatButton *fresh = addButton("&New", QPoint(150, 10));
        QSignalSpy encryptClicks(encrypt, &QAbstractButton::clicked);
        QSignalSpy freshClicks(fresh, &QAbstractButton::clicked);
        const QImage encryptAtRest = drawn(*encrypt);
        const QImage freshAtRest = drawn(*fresh);
        // Each press moves the focus on to the other button and clicks none.
        QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
        FlatButton *first = encrypt->hasFocus() ? encrypt : fresh;
        FlatButton *second = first == encrypt ? fresh : encrypt;
        QVERIFY(first->hasFocus());
        QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
        QVERIFY(second->hasFocus());
        QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
        QVERIFY(first->hasFocus());
        QCOMPARE(encryptClicks.size() + freshClicks.size(), 0);
        // The focused button shows as under the mouse; Enter presses it.
        QVERIFY(drawn(*first) != (first == encrypt ? encryptAtRest : freshAtRest));
        QCOMPARE(drawn(*second), second == encrypt ? encryptAtRest : freshAtRest);
        QTest::keyClick(first, Qt::Key_Return);
        QCOMPARE((first == encrypt ? encryptClicks : freshClicks).size(), 1);
        // Alone with the letter, a button is pressed at once.
        encrypt->setEnabled(false);
        QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
        QCOMPARE(freshClicks.size(), first == fresh ? 2 : 1);
        QCOMPARE(encryptClicks.size(), first == encrypt ? 1 : 0);
    }

    void groups()
    {
        FlatButton *a = button;
        FlatButton *b = addButton("B", QPoint(80, 10));
        FlatButton *c = addButton("C", QPoint(150, 10));
        FlatButton *other = addButton("D", QPoint(220, 10));
        // Outside a group a button never stays down.
        a->setChecked(true);
        QVERIFY(!a->isChecked());
        QTest::mouseClick(a, Qt::LeftButton);
        QVERIFY(!a->isChecked());

        for (FlatButton *x : {a, b, c})
            x->setGroupIndex(1);
        other->setGroupIndex(2);
        other->setChecked(true);
        QTest::mouseClick(a, Qt::LeftButton);
        QVERIFY(a->isChecked());
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(b->isChecked() && !a->isChecked() && !c->isChecked());
        QVERIFY(other->isChecked());
        // A second click keeps it down until the group allows all up.
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(b->isChecked());
        c->setAllowAllUp(true);
        QVERIFY(a->allowAllUp() && b->allowAllUp() && !other->allowAllUp());
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(!b->isChecked());

        // Set down directly: the mate comes up; a down button shows the
        // checker pattern (light where x and y are both even or both odd).
        a->setChecked(true);
        c->setChecked(true);
        QVERIFY(!a->isChecked());
        const QImage image = drawn(*c);
        const QRgb light = testPalette().color(QPalette::Light).rgb();
        const QRgb face = testPalette().color(QPalette::Button).rgb();
        QCOMPARE(image.pixel(2, 2), light);
        QCOMPARE(image.pixel(3, 3), light);
        QCOMPARE(image.pixel(3, 2), face);
        QCOMPARE(image.pixel(0, 0), testPalette().color(QPalette::Dark).rgb());

        c->setGroupIndex(0);
        QVERIFY(!c->isChecked());
    }

    void dropDownMenuReplacesTheClick()
    {
        QMenu menu;
        menu.addAction("item");
        button->setDropDownMenu(&menu);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        QPoint shownAt;
        bool heldWhileShown = false;
        QTimer::singleShot(0, &menu, [&] {
            shownAt = menu.pos();
            heldWhileShown = button->isDown();
            menu.close();
        });
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 20));
        QCOMPARE(shownAt, button->mapToGlobal(QPoint(0, button->height())));
        QVERIFY(heldWhileShown);
        QVERIFY(!button->isDown());
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 20));
        // The letter drops the menu too.
        bool shownByLetter = false;
        QTimer::singleShot(0, &menu, [&] {
            shownByLetter = menu.isVisible();
            menu.close();
        });
        testsupport::activateWindow(window.get());
        QTest::keyClick(window.get(), Qt::Key_O, Qt::AltModifier);
        QVERIFY(shownByLetter);
        QCOMPARE(clicks.size(), 0);
        // The mark's room sits beside the glyph.
        QCOMPARE(button->glyphRect().width(), 16 + 10);
    }

    void greyThresholds_data()
    {
        QTest::addColumn<FlatButton::Shading>("shading");
        QTest::addColumn<QList<int>>("limits");
        QTest::newRow("light") << FlatButton::Shading::Light << QList<int> {205, 127, 68};
        QTest::newRow("medium") << FlatButton::Shading::Medium << QList<int> {553, 231, 57};
        QTest::newRow("dark") << FlatButton::Shading::Dark << QList<int> {335, 274, 175};
    }
    void greyThresholds()
    {
        QFETCH(FlatButton::Shading, shading);
        QFETCH(QList<int>, limits);
        const QPalette palette = testPalette();
        const QRgb expected[4] = {qRgb(255, 255, 255), palette.color(QPalette::Light).rgb(),
            palette.color(QPalette::Dark).rgb(), qRgb(0, 0, 0)};
        // Ground, then each limit and one above it; a sum s as grey-ish colour.
        const auto ofSum = [](int s) {
            return qRgb(qMin(255, s), qMin(255, qMax(0, s - 255)), qMax(0, s - 510));
        };
        QImage image(1 + 2 * 3 + 1, 1, QImage::Format_ARGB32);
        const QRgb ground = qRgb(255, 0, 255);
        image.setPixel(0, 0, ground);
        for (int i = 0; i < 3; ++i) {
            image.setPixel(1 + 2 * i, 0, ofSum(limits[i] + 1));
            image.setPixel(2 + 2 * i, 0, ofSum(limits[i]));
        }
        image.setPixel(7, 0, qRgba(0, 0, 0, 128)); // half-covered edge pixel
        const QImage grey = FlatButton::greyed(image, shading, palette);
        QCOMPARE(grey.pixel(0, 0), ground);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(grey.pixel(1 + 2 * i, 0), expected[i] | 0xff000000);
            QCOMPARE(grey.pixel(2 + 2 * i, 0), expected[i + 1] | 0xff000000);
        }
        QCOMPARE(grey.pixel(7, 0), qRgba(0, 0, 0, 128));
    }

    void normalStateShowsTheGreyOrNoFocusGlyph()
    {
        QVERIFY(!button->isMouseOver());
        const QPoint g = button->glyphRect().topLeft() + QPoint(3, 3);
        // Off the mouse: the square (sum 180) in the dark colour of medium shading.
        QCOMPARE(drawn(*button).pixel(g), testPalette().color(QPalette::Dark).rgb());
        QPixmap red(16, 16);
        red.fill(Qt::red);
        QImage keyedRed = red.toImage();
        keyedRed.setPixel(0, 0, qRgb(0, 255, 0)); // the corner colour is see-through
        button->setNoFocusGlyph(QPixmap::fromImage(keyedRed));
        QCOMPARE(drawn(*button).pixel(g), qRgb(255, 0, 0));
        QCOMPARE(drawn(*button).pixel(button->glyphRect().topLeft()), QColor(1, 2, 3).rgb());
        button->setOptions(
            button->options() & ~FlatButton::Options(FlatButton::Option::MonoDisplay));
        QCOMPARE(drawn(*button).pixel(g), qRgb(30, 60, 90));

        // The opaque button lays the button colour under the same picture.
        widgets::OpaqueFlatButton opaque(window.get());
        opaque.resize(button->size());
        QImage image(opaque.size(), QImage::Format_RGB32);
        opaque.render(&image);
        QCOMPARE(image.pixel(1, 1), testPalette().color(QPalette::Button).rgb());
    }

    void embossedShape()
    {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        image.setPixel(1, 1, qRgb(20, 20, 20));
        image.setPixel(2, 1, qRgb(250, 250, 250)); // light parts are not the shape
        const QPalette palette = testPalette();
        const QImage out =
            FlatButton::embossed(image, palette).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(out.pixel(1, 1), palette.color(QPalette::Dark).rgb());
        QCOMPARE(out.pixel(2, 2), palette.color(QPalette::Light).rgb());
        QCOMPARE(qAlpha(out.pixel(2, 1)), 0);
        QCOMPARE(qAlpha(out.pixel(0, 0)), 0);
    }

    void layouts_data()
    {
        QTest::addColumn<FlatButton::Layout>("layout");
        QTest::newRow("top") << FlatButton::Layout::GlyphTop;
        QTest::newRow("bottom") << FlatButton::Layout::GlyphBottom;
        QTest::newRow("left") << FlatButton::Layout::GlyphLeft;
        QTest::newRow("right") << FlatButton::Layout::GlyphRight;
    }
    void layouts()
    {
        QFETCH(FlatButton::Layout, layout);
        FlatButton b;
        b.resize(90, 60);
        b.setGlyph(squareGlyph(16));
        b.setText("&Go");
        b.setGlyphLayout(layout);
        const QRect g = b.glyphRect();
        const QRect c = b.captionRect();
        const QRect area = b.rect();
        QVERIFY(area.contains(g) && area.contains(c));
        QVERIFY(!g.intersects(c));
        const auto centredH = [&](const QRect &r) {
            return qAbs(r.left() - (area.width() - r.right() - 1)) <= 1;
        };
        const auto centredV = [&](const QRect &r) {
            return qAbs(r.top() - (area.height() - r.bottom() - 1)) <= 1;
        };
        switch (layout) {
        case FlatButton::Layout::GlyphTop:
        case FlatButton::Layout::GlyphBottom: {
            const bool top = layout == FlatButton::Layout::GlyphTop;
            QVERIFY(top ? g.bottom() < c.top() : c.bottom() < g.top());
            QVERIFY(centredH(g) && centredH(c));
            QVERIFY(centredV(g.united(c)));
            break;
        }
        case FlatButton::Layout::GlyphLeft:
        case FlatButton::Layout::GlyphRight: {
            const bool left = layout == FlatButton::Layout::GlyphLeft;
            QVERIFY(left ? g.right() < c.left() : c.right() < g.left());
            QVERIFY(centredV(g) && centredV(c));
            QVERIFY(centredH(g.united(c)));
            break;
        }
        }
        // Left and right alignment put the block against that edge with the
        // same margin; stacked, glyph and caption each go there by itself.
        const bool stacked =
            layout == FlatButton::Layout::GlyphTop || layout == FlatButton::Layout::GlyphBottom;
        b.setAlignment(Qt::AlignLeft);
        const QRect leftGlyph = b.glyphRect();
        const QRect leftCaption = b.captionRect();
        b.setAlignment(Qt::AlignRight);
        const QRect rightGlyph = b.glyphRect();
        const QRect rightCaption = b.captionRect();
        QVERIFY(leftGlyph.left() < g.left() && rightGlyph.right() > g.right());
        QCOMPARE(leftGlyph.united(leftCaption).left(),
            area.right() - rightGlyph.united(rightCaption).right());
        if (stacked) {
            QCOMPARE(leftGlyph.left(), leftCaption.left());
            QCOMPARE(rightGlyph.right(), rightCaption.right());
        }

        // Without a caption the glyph sits in the middle, whatever the layout.
        b.setAlignment(Qt::AlignHCenter);
        b.setText(QString());
        QVERIFY(b.captionRect().isNull());
        QVERIFY(centredV(b.glyphRect()) && centredH(b.glyphRect()));
    }

    void glyphOnlyTurnsTheCaptionIntoTheTip()
    {
        button->setText("Save && &Quit");
        button->setOptions(button->options() | FlatButton::Option::GlyphOnly);
        QVERIFY(button->captionRect().isNull());
        QCOMPARE(button->toolTip(), QString("Save & Quit"));
        button->setOptions(button->options() & ~FlatButton::Options(FlatButton::Option::GlyphOnly));
        QCOMPARE(button->toolTip(), QString());
    }
};

QTEST_MAIN(TestFlatButton)
#include "tst_flatbutton.moc"
