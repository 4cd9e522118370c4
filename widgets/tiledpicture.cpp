#include "widgets/tiledpicture.h"

#include <QBitmap>
#include <QEvent>
#include <QPainter>

namespace widgets {

TiledPicture::TiledPicture(QWidget *parent)
    : QWidget(parent)
{
    resize(sizeHint());
}

QSize TiledPicture::sizeHint() const
{
    return QSize(105, 105);
}

void TiledPicture::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    if (!picture.isNull())
        m_transparentColor = QColor::fromRgba(picture.toImage().pixel(0, picture.height() - 1));
    prepare();
}

void TiledPicture::setTransparentColor(const QColor &colour)
{
    m_transparentColor = colour;
    prepare();
}

QColor TiledPicture::fadeColor() const
{
    return m_fadeColor.isValid() ? m_fadeColor : palette().color(QPalette::Light);
}

void TiledPicture::setFadeColor(const QColor &colour)
{
    m_fadeColor = colour;
    prepare();
}

void TiledPicture::setMode(Mode mode)
{
    m_mode = mode;
    prepare();
}

void TiledPicture::setTiled(bool tiled)
{
    m_tiled = tiled;
    prepare();
}

void TiledPicture::prepare()
{
    m_prepared = m_picture;
    if (!m_picture.isNull() && m_mode != Mode::Normal) {
        // Bit set where the picture is drawn, clear where it has the
        // transparent colour.
        const QBitmap drawn = m_picture.createMaskFromColor(m_transparentColor, Qt::MaskInColor);
        if (m_mode == Mode::Transparent) {
            m_prepared.setMask(drawn);
        } else {
            const QWidget *ground = parentWidget() ? parentWidget() : this;
            QPixmap silhouette(m_picture.size());
            silhouette.fill(ground->palette().color(ground->backgroundRole()));
            QPixmap ink(m_picture.size());
            ink.fill(fadeColor());
            ink.setMask(drawn);
            QPainter(&silhouette).drawPixmap(0, 0, ink);
            silhouette.setDevicePixelRatio(m_picture.devicePixelRatio());
            m_prepared = silhouette;
        }
    }
    update();
}

void TiledPicture::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_mode == Mode::Faded)
        prepare();
}

void TiledPicture::paintEvent(QPaintEvent *)
{
    if (m_prepared.isNull())
        return;
    QPainter painter(this);
    if (m_tiled)
        painter.drawTiledPixmap(rect(), m_prepared);
    else
        painter.drawPixmap(0, 0, m_prepared);
}

} // namespace widgets
