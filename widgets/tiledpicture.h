#pragma once

// A picture that fills its area, repeated from the top-left corner or drawn
// once there; drawn as it is, with one colour see-through, or as a flat
// silhouette. The toolbar rows lay one behind their buttons.

#include <QColor>
#include <QPixmap>
#include <QWidget>

namespace widgets {

class TiledPicture : public QWidget
{
    Q_OBJECT
public:
    enum class Mode {
        // Drawn pixels in the fade colour, see-through ones in the parent's.
        Faded,
        // Pixels of the transparent colour let what lies behind show through.
        Transparent,
        // The picture as it is.
        Normal,
    };

    explicit TiledPicture(QWidget *parent = nullptr);

    QPixmap picture() const { return m_picture; }
    // Also takes the picture's bottom-left pixel as the transparent colour.
    void setPicture(const QPixmap &picture);

    QColor transparentColor() const { return m_transparentColor; }
    void setTransparentColor(const QColor &colour);

    // The silhouette's colour in Faded mode; the palette's light colour
    // while unset.
    QColor fadeColor() const;
    void setFadeColor(const QColor &colour);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);

    // Repeat the picture over the whole area, or draw it once.
    bool isTiled() const { return m_tiled; }
    void setTiled(bool tiled);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void prepare();

    QPixmap m_picture;
    QPixmap m_prepared;
    QColor m_transparentColor;
    QColor m_fadeColor;
    Mode m_mode = Mode::Normal;
    bool m_tiled = true;
};

} // namespace widgets
