#include "assets/assets.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

// A static library's resources are only linked in and registered when
// something calls their initialiser; the macro must be used outside any
// namespace.
static void registerAssetResources()
{
    Q_INIT_RESOURCE(assets);
}

namespace assets {

void registerResources()
{
    static const bool registered = (registerAssetResources(), true);
    Q_UNUSED(registered);
}

namespace {

QImage render(const QString &name, QSize pixels)
{
    registerResources();
    QSvgRenderer renderer(picturePath(name));
    if (!renderer.isValid() || pixels.isEmpty())
        return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QSize designSize(const QString &name)
{
    registerResources();
    return QSvgRenderer(picturePath(name)).defaultSize();
}

} // namespace

QString picturePath(const QString &name)
{
    return QStringLiteral(":/assets/") + name + QStringLiteral(".svg");
}

QPixmap picture(const QString &name, QSize size, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image = render(name, size * ratio);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(std::move(image));
}

QPixmap disabledForm(const QPixmap &pixmap)
{
    // Qt's own disabled forms come from the widget style, which this library
    // does not link; a grey at half strength reads as disabled in any style.
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 2);
        }
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(pixmap.devicePixelRatio());
    return result;
}

QPixmap greyForm(const QPixmap &pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(pixmap.devicePixelRatio());
    return result;
}

QIcon icon(const QString &name)
{
    const QSize size = designSize(name);
    QIcon result;
    if (size.isEmpty())
        return result;
    for (const int scale : {1, 2}) {
        QImage image = render(name, size * scale);
        if (image.isNull())
            return {};
        const QPixmap pixmap = QPixmap::fromImage(std::move(image));
        result.addPixmap(pixmap, QIcon::Normal);
        result.addPixmap(disabledForm(pixmap), QIcon::Disabled);
    }
    return result;
}

QIcon windowIcon()
{
    QIcon result;
    for (const int side : {16, 24, 32, 48, 64, 128, 256})
        result.addPixmap(picture(QStringLiteral("icon"), QSize(side, side)));
    return result;
}

QStringList toolbarPictures()
{
    return {QStringLiteral("toolbar/new"), QStringLiteral("toolbar/open"),
        QStringLiteral("toolbar/save"), QStringLiteral("toolbar/copyall"),
        QStringLiteral("toolbar/paste"), QStringLiteral("toolbar/encrypt"),
        QStringLiteral("toolbar/decrypt"), QStringLiteral("toolbar/quickmail")};
}

QUrl helpPage()
{
    registerResources();
    return QUrl(QStringLiteral("qrc:/assets/help/index.html"));
}

} // namespace assets
