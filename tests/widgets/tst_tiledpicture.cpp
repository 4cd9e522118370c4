// The tiled picture drawn over a known ground in each mode, tiled and once.

#include "widgets/tiledpicture.h"

#include <QTest>

using widgets::TiledPicture;

namespace {

const QRgb kGround = qRgb(1, 2, 3);
const QRgb kSeeThrough = qRgb(200, 200, 200);
const QRgb kInk = qRgb(10, 100, 40);

// 3 x 2: ink and see-through in a pattern, the see-through grey at the
// bottom-left corner.
QPixmap sample()
{
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb pixels[2][3] = {{kInk, kSeeThrough, qRgb(90, 80, 70)}, {kSeeThrough, kInk, kInk}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, pixels[y][x]);
    return QPixmap::fromImage(image);
}

QImage drawn(TiledPicture &picture)
{
    QImage image(picture.size(), QImage::Format_RGB32);
    image.fill(kGround);
    picture.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class TestTiledPicture : public QObject
{
    Q_OBJECT

private slots:
    void tilesFromTheTopLeftCorner_data()
    {
        QTest::addColumn<TiledPicture::Mode>("mode");
        QTest::newRow("normal") << TiledPicture::Mode::Normal;
        QTest::newRow("transparent") << TiledPicture::Mode::Transparent;
        QTest::newRow("faded") << TiledPicture::Mode::Faded;
    }
    void tilesFromTheTopLeftCorner()
    {
        QFETCH(TiledPicture::Mode, mode);
        QWidget parent;
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(50, 60, 70));
        parent.setPalette(palette);
        TiledPicture picture(&parent);
        picture.resize(7, 5); // the last column and row of tiles are cut
        picture.setFadeColor(QColor(250, 250, 0));
        picture.setMode(mode);
        QCOMPARE(drawn(picture).pixel(3, 3), kGround); // nothing without a picture
        const QImage source = sample().toImage();
        picture.setPicture(sample());
        QCOMPARE(picture.transparentColor().rgb(), kSeeThrough);

        const QImage image = drawn(picture);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const QRgb own = source.pixel(x % 3, y % 2);
                QRgb expected = own;
                if (mode == TiledPicture::Mode::Transparent && own == kSeeThrough)
                    expected = kGround;
                if (mode == TiledPicture::Mode::Faded)
                    expected = own == kSeeThrough ? qRgb(50, 60, 70) : qRgb(250, 250, 0);
                QVERIFY2(image.pixel(x, y) == expected, qPrintable(QString("%1,%2").arg(x).arg(y)));
            }

        // Once, at the top-left corner.
        picture.setTiled(false);
        const QImage once = drawn(picture);
        QCOMPARE(once.pixel(1, 1), image.pixel(1, 1));
        QCOMPARE(once.pixel(3, 0), kGround);
        QCOMPARE(once.pixel(0, 2), kGround);
    }

    void sharpAtTwiceThePixels()
    {
        // A 2 x 1 picture at ratio 2 (4 x 2 pixels) tiles every two
        // device-independent pixels.
        QImage tile(4, 2, QImage::Format_RGB32);
        tile.fill(kInk);
        tile.setPixel(3, 1, kSeeThrough);
        tile.setDevicePixelRatio(2);
        TiledPicture picture;
        picture.resize(4, 1);
        picture.setMode(TiledPicture::Mode::Transparent);
        picture.setPicture(QPixmap::fromImage(tile));
        picture.setTransparentColor(QColor(kSeeThrough));
        QImage image(8, 2, QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        image.fill(kGround);
        picture.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(image.pixel(2, 1), kInk);
        QCOMPARE(image.pixel(3, 1), kGround);
        QCOMPARE(image.pixel(7, 1), kGround);
        QCOMPARE(image.pixel(6, 1), kInk);
    }
};

QTEST_MAIN(TestTiledPicture)
#include "tst_tiledpicture.moc"
