#pragma once

// Flat buttons with a glyph and an optional caption, as the toolbars and the
// composer use them: no bevel until the mouse is over the button, a sunken
// bevel while it is held, a grey glyph while the mouse is elsewhere, an
// embossed glyph and caption while disabled.
//
// Qt's own button terms carry the button's states: isDown() is "held with the
// mouse over it", isChecked() is "stays down" (only in a group, see
// setGroupIndex()), clicked() is the click.

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPointer>

namespace widgets {

class FlatButton : public QAbstractButton
{
    Q_OBJECT
public:
    // Where the glyph sits relative to the caption.
    enum class Layout { GlyphTop, GlyphBottom, GlyphLeft, GlyphRight };
    enum class Option {
        // Without the mouse over it the button shows its no-focus or grey glyph.
        MonoDisplay = 0x1,
        // The caption is not drawn; it becomes the tool tip instead.
        GlyphOnly = 0x2,
        // A small downward triangle follows the glyph when a drop-down menu is set.
        DropDownMark = 0x4,
        // Bevels are drawn at all.
        ShowBevel = 0x8,
    };
    Q_DECLARE_FLAGS(Options, Option)
    // Which sums of red, green and blue make the grey glyph white, light,
    // dark or black.
    enum class Shading { Light, Medium, Dark };
    // Raised: the bevel stands out under the mouse and sinks when held;
    // lowered: the reverse.
    enum class BevelStyle { Lowered, Raised };

    explicit FlatButton(QWidget *parent = nullptr);
    ~FlatButton() override;

    // Horizontal placement of glyph and caption: Qt::AlignLeft, Qt::AlignRight
    // or Qt::AlignHCenter (the default).
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // In a group, a second click may release the button that is down. Shared
    // by every button of the same group under the same parent.
    bool allowAllUp() const { return m_allowAllUp; }
    void setAllowAllUp(bool allow);

    BevelStyle bevelStyle() const { return m_bevelStyle; }
    void setBevelStyle(BevelStyle style);

    // The pictures. Each is drawn with the colour of its top-left pixel
    // transparent; device pixel ratios are honoured.
    QPixmap glyph() const { return m_glyph; }
    void setGlyph(const QPixmap &glyph);
    // Shown without the mouse over the button when MonoDisplay is set; the
    // generated grey glyph stands in while it is empty.
    QPixmap noFocusGlyph() const { return m_noFocusGlyph; }
    void setNoFocusGlyph(const QPixmap &glyph);
    // Shown while disabled; the embossed glyph stands in while it is empty.
    QPixmap disabledGlyph() const { return m_disabledGlyph; }
    void setDisabledGlyph(const QPixmap &glyph);
    // The generated grey form of glyph() for the current shading.
    QPixmap greyGlyph() const;

    // Buttons of one parent with the same non-zero index form a group of
    // which at most one is checked (down). 0, the default, is no group; the
    // button is then not checkable.
    int groupIndex() const { return m_groupIndex; }
    void setGroupIndex(int index);

    // A left press drops this menu under the button instead of clicking.
    QMenu *dropDownMenu() const { return m_dropDownMenu; }
    void setDropDownMenu(QMenu *menu);

    Layout glyphLayout() const { return m_layout; }
    void setGlyphLayout(Layout layout);

    Options options() const { return m_options; }
    void setOptions(Options options);

    Shading shading() const { return m_shading; }
    void setShading(Shading shading);

    // A checked button is filled with a checker pattern.
    bool showDownPattern() const { return m_showDownPattern; }
    void setShowDownPattern(bool show);

    // Caption colour without the mouse over the button; the palette's window
    // text colour while unset.
    QColor unselectedTextColor() const;
    void setUnselectedTextColor(const QColor &colour);

    bool wordWrap() const { return m_wordWrap; }
    void setWordWrap(bool wrap);

    // The mouse is over the button (as far as enter, leave and the held
    // button's moves tell).
    bool isMouseOver() const { return m_mouseOver; }

    // Where glyph (with the drop-down mark's room) and caption are placed
    // at the button's current size and font; empty when not drawn.
    QRect glyphRect() const;
    QRect captionRect() const;

    QSize sizeHint() const override;

    // The grey form of a picture: every pixel whose colour differs from the
    // top-left one becomes white, the palette's light or dark colour, or
    // black by the sum of its red, green and blue; alpha is kept.
    static QImage greyed(const QImage &picture, Shading shading, const QPalette &palette);
    // The picture's shape in the light colour one pixel right and down, then
    // in the dark colour in place.
    static QImage embossed(const QImage &picture, const QPalette &palette);

signals:
    void mouseEntered();
    void mouseLeft();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void nextCheckState() override;

private:
    struct Placement
    {
        QRect glyph;
        QRect caption;
    };
    Placement placement() const;
    int textFlags() const;
    bool hasMark() const;
    bool hasCaption() const;
    QList<FlatButton *> groupMates() const;
    void setMouseOver(bool over);
    void settleAfterMenu();
    void accelerate();
    // Drops the menu under the button and waits for it to close.
    void dropMenu();
    void updateGlyphOnlyTip();

    Qt::Alignment m_alignment = Qt::AlignHCenter;
    bool m_allowAllUp = false;
    BevelStyle m_bevelStyle = BevelStyle::Raised;
    QPixmap m_glyph;
    QPixmap m_noFocusGlyph;
    QPixmap m_disabledGlyph;
    mutable QPixmap m_greyGlyph;
    mutable QPixmap m_embossedGlyph;
    int m_groupIndex = 0;
    QPointer<QMenu> m_dropDownMenu;
    Layout m_layout = Layout::GlyphTop;
    Options m_options = Options(Option::MonoDisplay) | Option::DropDownMark | Option::ShowBevel;
    Shading m_shading = Shading::Medium;
    bool m_showDownPattern = true;
    QColor m_unselectedTextColor;
    bool m_wordWrap = false;
    bool m_mouseOver = false;
    bool m_tipFromCaption = false;
};

// The same button painted opaque on the palette's button colour, for places
// without a picture behind them (the composer's Send and Close).
class OpaqueFlatButton : public FlatButton
{
    Q_OBJECT
public:
    explicit OpaqueFlatButton(QWidget *parent = nullptr);
};

} // namespace widgets

Q_DECLARE_OPERATORS_FOR_FLAGS(widgets::FlatButton::Options)
