#include "widgets/flatbutton.h"

#include <QBitmap>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QShortcutEvent>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>

#include <array>

namespace widgets {

namespace {

// The room a drop-down mark takes beside the glyph, and the margins the
// caption keeps from the edges.
constexpr int kMarkRoom = 10;
constexpr int kEdge = 3;
constexpr int kGap = 2;

// Pictures come with the colour of their top-left pixel as background. Drawn
// SVGs have a transparent one already; an opaque one is keyed out here.
QPixmap keyed(const QPixmap &picture)
{
    if (picture.isNull())
        return picture;
    const QRgb corner = picture.toImage().pixel(0, 0);
    if (qAlpha(corner) != 255)
        return picture;
    QPixmap result = picture;
    result.setMask(picture.createMaskFromColor(QColor::fromRgba(corner), Qt::MaskInColor));
    return result;
}

// The sums of red, green and blue above which a pixel turns white, light and
// dark; at or below the last it turns black.
std::array<int, 3> thresholds(FlatButton::Shading shading)
{
    switch (shading) {
    case FlatButton::Shading::Light:
        return {205, 127, 68};
    case FlatButton::Shading::Medium:
        break;
    case FlatButton::Shading::Dark:
        return {335, 274, 175};
    }
    return {553, 231, 57};
}

// A picture with every drawn pixel in one colour, alpha kept.
QImage tinted(const QImage &shape, const QColor &colour)
{
    QImage result = shape;
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), colour);
    return result;
}

} // namespace

FlatButton::FlatButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    resize(sizeHint());
    connect(this, &QAbstractButton::toggled, this, [this](bool down) {
        if (!down)
            return;
        for (FlatButton *mate : groupMates())
            mate->setChecked(false);
    });
}

FlatButton::~FlatButton() = default;

void FlatButton::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment & Qt::AlignHorizontal_Mask;
    update();
}

void FlatButton::setAllowAllUp(bool allow)
{
    m_allowAllUp = allow;
    for (FlatButton *mate : groupMates())
        mate->m_allowAllUp = allow;
}

void FlatButton::setBevelStyle(BevelStyle style)
{
    m_bevelStyle = style;
    update();
}

void FlatButton::setGlyph(const QPixmap &glyph)
{
    m_glyph = keyed(glyph);
    m_greyGlyph = {};
    m_embossedGlyph = {};
    update();
}

void FlatButton::setNoFocusGlyph(const QPixmap &glyph)
{
    m_noFocusGlyph = keyed(glyph);
    update();
}

void FlatButton::setDisabledGlyph(const QPixmap &glyph)
{
    m_disabledGlyph = keyed(glyph);
    if (!isEnabled())
        update();
}

QPixmap FlatButton::greyGlyph() const
{
    if (m_greyGlyph.isNull() && !m_glyph.isNull())
        m_greyGlyph = keyed(QPixmap::fromImage(greyed(m_glyph.toImage(), m_shading, palette())));
    return m_greyGlyph;
}

void FlatButton::setGroupIndex(int index)
{
    if (index == m_groupIndex)
        return;
    m_groupIndex = index;
    if (index == 0) {
        setChecked(false);
        setCheckable(false);
    } else {
        setCheckable(true);
    }
    update();
}

void FlatButton::setDropDownMenu(QMenu *menu)
{
    m_dropDownMenu = menu;
    update();
}

void FlatButton::setGlyphLayout(Layout layout)
{
    m_layout = layout;
    update();
}

void FlatButton::setOptions(Options options)
{
    m_options = options;
    updateGlyphOnlyTip();
    update();
}

void FlatButton::setShading(Shading shading)
{
    m_shading = shading;
    m_greyGlyph = {};
    update();
}

void FlatButton::setShowDownPattern(bool show)
{
    m_showDownPattern = show;
    update();
}

QColor FlatButton::unselectedTextColor() const
{
    return m_unselectedTextColor.isValid() ? m_unselectedTextColor
                                           : palette().color(QPalette::WindowText);
}

void FlatButton::setUnselectedTextColor(const QColor &colour)
{
    m_unselectedTextColor = colour;
    update();
}

void FlatButton::setWordWrap(bool wrap)
{
    m_wordWrap = wrap;
    update();
}

QSize FlatButton::sizeHint() const
{
    return QSize(50, 40);
}

bool FlatButton::hasMark() const
{
    return (m_options & Option::DropDownMark) && m_dropDownMenu;
}

bool FlatButton::hasCaption() const
{
    return !(m_options & Option::GlyphOnly) && !text().isEmpty();
}

int FlatButton::textFlags() const
{
    return Qt::TextShowMnemonic | Qt::AlignTop | int(m_alignment)
        | (m_wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

FlatButton::Placement FlatButton::placement() const
{
    const int w = width();
    const int h = height();
    int textWidth = 0;
    int textHeight = 0;
    int gap = 0;
    if (hasCaption()) {
        // A trailing blank lets the last word of a wrapped caption break too.
        const QString measured = m_wordWrap ? text() + QLatin1Char(' ') : text();
        const QRect bounds =
            fontMetrics().boundingRect(QRect(0, 0, qMax(0, w - 4), 0x7fff), textFlags(), measured);
        textWidth = qMin(bounds.width(), w - 4);
        textHeight = bounds.height();
        gap = kGap;
    }
    const QSize glyphSize = m_glyph.deviceIndependentSize().toSize();
    const int glyphWidth = m_glyph.isNull() ? 0 : glyphSize.width() + (hasMark() ? kMarkRoom : 0);
    const int glyphHeight = m_glyph.isNull() ? 0 : glyphSize.height();
    const auto placed = [&](int width) {
        if (m_alignment & Qt::AlignLeft)
            return kEdge;
        if (m_alignment & Qt::AlignRight)
            return w - width - kEdge;
        return (w - width) / 2;
    };

    Placement p;
    if (m_glyph.isNull()) {
        if (hasMark())
            textWidth = qMin(textWidth, w - 14);
        p.caption = QRect(placed(textWidth), (h - textHeight) / 2, textWidth, textHeight);
    } else if (m_layout == Layout::GlyphTop || m_layout == Layout::GlyphBottom) {
        const int offset = (h - textHeight - glyphHeight - gap) / 2;
        const bool top = m_layout == Layout::GlyphTop;
        const int glyphY = top ? offset : offset + textHeight + gap;
        const int textY = top ? offset + glyphHeight + gap : offset;
        p.glyph = QRect(placed(glyphWidth), glyphY, glyphWidth, glyphHeight);
        p.caption = QRect(placed(textWidth), textY, textWidth, textHeight);
    } else {
        textWidth = qMax(0, qMin(textWidth, w - 4 - gap - glyphWidth));
        const int x = placed(glyphWidth + gap + textWidth);
        const bool left = m_layout == Layout::GlyphLeft;
        p.glyph =
            QRect(left ? x : x + textWidth + gap, (h - glyphHeight) / 2, glyphWidth, glyphHeight);
        p.caption =
            QRect(left ? x + glyphWidth + gap : x, (h - textHeight) / 2, textWidth, textHeight);
    }
    if (m_wordWrap && p.caption.right() > w - 5)
        p.caption.setRight(w - 5);
    if (!hasCaption())
        p.caption = QRect();
    return p;
}

QRect FlatButton::glyphRect() const
{
    return placement().glyph;
}

QRect FlatButton::captionRect() const
{
    return placement().caption;
}

QImage FlatButton::greyed(const QImage &picture, Shading shading, const QPalette &palette)
{
    if (picture.isNull())
        return {};
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const auto [white, light, dark] = thresholds(shading);
    const QRgb background = image.pixel(0, 0);
    const QRgb colours[4] = {qRgb(255, 255, 255), palette.color(QPalette::Light).rgb(),
        palette.color(QPalette::Dark).rgb(), qRgb(0, 0, 0)};
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            if (pixel == background)
                continue;
            const int sum = qRed(pixel) + qGreen(pixel) + qBlue(pixel);
            const int band = sum > white ? 0 : sum > light ? 1 : sum > dark ? 2 : 3;
            // Antialiased edges keep their alpha, so the outline stays smooth.
            line[x] = (colours[band] & RGB_MASK) | (pixel & ~RGB_MASK);
        }
    }
    return image;
}

QImage FlatButton::embossed(const QImage &picture, const QPalette &palette)
{
    if (picture.isNull())
        return {};
    // The shape is the picture's darker half: a silhouette of every drawn
    // pixel would turn a white sheet into a blob; its outline is what reads
    // as the picture.
    QImage shape = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb background = shape.pixel(0, 0);
    for (int y = 0; y < shape.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(shape.scanLine(y));
        for (int x = 0; x < shape.width(); ++x) {
            const QRgb pixel = line[x];
            const bool dark = qRed(pixel) + qGreen(pixel) + qBlue(pixel) < 384;
            line[x] = pixel != background && dark ? pixel : qRgba(0, 0, 0, 0);
        }
    }
    shape = shape.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage result(shape.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    result.setDevicePixelRatio(picture.devicePixelRatio());
    shape.setDevicePixelRatio(picture.devicePixelRatio());
    QPainter painter(&result);
    painter.drawImage(QPoint(1, 1), tinted(shape, palette.color(QPalette::Light)));
    painter.drawImage(QPoint(0, 0), tinted(shape, palette.color(QPalette::Dark)));
    return result;
}

QList<FlatButton *> FlatButton::groupMates() const
{
    QList<FlatButton *> mates;
    if (m_groupIndex == 0 || !parentWidget())
        return mates;
    const auto siblings = parentWidget()->findChildren<FlatButton *>(Qt::FindDirectChildrenOnly);
    for (FlatButton *sibling : siblings)
        if (sibling != this && sibling->m_groupIndex == m_groupIndex)
            mates << sibling;
    return mates;
}

void FlatButton::setMouseOver(bool over)
{
    if (over == m_mouseOver)
        return;
    m_mouseOver = over;
    if (isEnabled() && !isChecked())
        update();
}

void FlatButton::settleAfterMenu()
{
    setDown(false);
    m_mouseOver = rect().contains(mapFromGlobal(QCursor::pos()));
    update();
}

void FlatButton::accelerate()
{
    m_mouseOver = true;
    setDown(false);
    repaint();
    const QPointer<FlatButton> self(this);
    // The letter acts as a press and release of the left button: with a
    // drop-down menu that drops the menu and clicks nothing.
    if (m_dropDownMenu)
        dropMenu();
    else
        click();
    if (self)
        setMouseOver(underMouse());
}

void FlatButton::dropMenu()
{
    m_mouseOver = true;
    setDown(true);
    repaint();
    const QPointer<FlatButton> self(this);
    m_dropDownMenu->exec(mapToGlobal(QPoint(0, height())));
    if (self)
        settleAfterMenu();
}

void FlatButton::updateGlyphOnlyTip()
{
    const QString tip = QString(text()).remove(QRegularExpression(QStringLiteral("&(?!&)")));
    if (m_options & Option::GlyphOnly) {
        if (toolTip().isEmpty() || m_tipFromCaption) {
            setToolTip(tip);
            m_tipFromCaption = true;
        }
    } else if (m_tipFromCaption) {
        setToolTip(QString());
        m_tipFromCaption = false;
    }
}

bool FlatButton::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Shortcut: {
        const auto *shortcut = static_cast<QShortcutEvent *>(event);
        if (shortcut->key() != QKeySequence::mnemonic(text()))
            break;
        // A letter several controls share moves between them press by press,
        // as Qt does for its own buttons: this one takes the focus and Space
        // or Enter then presses it. A letter of its own presses at once.
        if (!isEnabled() || !isVisible())
            return true;
        if (shortcut->isAmbiguous())
            setFocus(Qt::ShortcutFocusReason);
        else
            accelerate();
        return true;
    }
    case QEvent::ToolTip:
        updateGlyphOnlyTip();
        break;
    case QEvent::ContextMenu: {
        const QPointer<FlatButton> self(this);
        const bool handled = QAbstractButton::event(event);
        if (self)
            settleAfterMenu();
        return handled;
    }
    default:
        break;
    }
    return QAbstractButton::event(event);
}

void FlatButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        setDown(false);
        m_mouseOver = false;
        update();
        break;
    case QEvent::PaletteChange:
        m_greyGlyph = {};
        m_embossedGlyph = {};
        update();
        break;
    default:
        break;
    }
}

void FlatButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    setMouseOver(true);
    emit mouseEntered();
}

void FlatButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    setMouseOver(false);
    emit mouseLeft();
}

void FlatButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractButton::mousePressEvent(event);
        return;
    }
    if (!window()->isActiveWindow()) {
        window()->raise();
        window()->activateWindow();
    }
    if (!isEnabled() || !isVisible())
        return;
    if (m_dropDownMenu) {
        dropMenu();
        return;
    }
    m_mouseOver = true;
    QAbstractButton::mousePressEvent(event);
}

void FlatButton::mouseMoveEvent(QMouseEvent *event)
{
    // While held, the bevel follows the cursor in and out of the button.
    if (event->buttons() & Qt::LeftButton)
        setMouseOver(hitButton(event->position().toPoint()));
    QAbstractButton::mouseMoveEvent(event);
}

void FlatButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setMouseOver(hitButton(event->position().toPoint()));
    QAbstractButton::mouseReleaseEvent(event);
}

void FlatButton::nextCheckState()
{
    if (!isCheckable())
        return;
    if (!isChecked())
        setChecked(true);
    else if (m_allowAllUp)
        setChecked(false);
}

void FlatButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &pal = palette();
    const Placement place = placement();
    const bool held = isDown();

    if (isChecked() && m_showDownPattern) {
        // Light where x and y are both even or both odd, button colour elsewhere.
        QImage checker(2, 2, QImage::Format_RGB32);
        checker.setPixel(0, 0, pal.color(QPalette::Light).rgb());
        checker.setPixel(1, 1, pal.color(QPalette::Light).rgb());
        checker.setPixel(1, 0, pal.color(QPalette::Button).rgb());
        checker.setPixel(0, 1, pal.color(QPalette::Button).rgb());
        painter.fillRect(rect(), QBrush(checker));
    }
    const auto bevel = [&](bool sunken) {
        if (m_options & Option::ShowBevel)
            qDrawShadeRect(
                &painter, rect(), pal, m_bevelStyle == BevelStyle::Raised ? sunken : !sunken, 1, 0);
    };

    QPixmap picture;
    QColor textColour;
    QPoint textShift;
    QPoint glyphShift;
    bool embossedText = false;
    if (isEnabled() && (held || isChecked())) {
        bevel(true);
        textColour = pal.color(QPalette::ButtonText);
        if (m_bevelStyle == BevelStyle::Raised)
            textShift = QPoint(1, 1);
        glyphShift = QPoint(1, 1);
        picture = m_glyph;
    } else if (isEnabled()) {
        // The keyboard's focus shows as the mouse's would.
        if (m_mouseOver || hasFocus()) {
            bevel(false);
            textColour = pal.color(QPalette::ButtonText);
        } else {
            textColour = unselectedTextColor();
        }
        if (m_bevelStyle == BevelStyle::Lowered)
            textShift = QPoint(1, 1);
        if (m_mouseOver || hasFocus() || !(m_options & Option::MonoDisplay))
            picture = m_glyph;
        else
            picture = m_noFocusGlyph.isNull() ? greyGlyph() : m_noFocusGlyph;
    } else {
        if (isChecked())
            bevel(true);
        if (!m_disabledGlyph.isNull()) {
            picture = m_disabledGlyph;
        } else if (!m_glyph.isNull()) {
            if (m_embossedGlyph.isNull())
                m_embossedGlyph = QPixmap::fromImage(embossed(m_glyph.toImage(), pal));
            picture = m_embossedGlyph;
        }
        textColour = pal.color(QPalette::Dark);
        embossedText = true;
    }

    if (!picture.isNull())
        painter.drawPixmap(place.glyph.topLeft() + glyphShift, picture);

    if (!place.caption.isEmpty()) {
        QString shown = text();
        if (!m_wordWrap)
            shown = fontMetrics().elidedText(
                shown, Qt::ElideRight, place.caption.width(), Qt::TextShowMnemonic);
        if (embossedText) {
            painter.setPen(pal.color(QPalette::Light));
            painter.drawText(place.caption.translated(1, 1), textFlags(), shown);
        }
        painter.setPen(textColour);
        painter.drawText(place.caption.translated(textShift), textFlags(), shown);
    }

    if (hasMark()) {
        // Rows of 7, 5, 3 and 1 pixels on one centre column, past the glyph
        // (or the caption when there is none).
        const QRect after = m_glyph.isNull() ? place.caption : place.glyph;
        const int end = m_glyph.isNull() ? after.x() + after.width()
                                         : after.x() + int(m_glyph.deviceIndependentSize().width());
        const int x = end + (held ? 4 : 3);
        const int y = after.y() + (after.height() - 4) / 2 + glyphShift.y();
        for (int row = 0; row < 4; ++row)
            painter.fillRect(x + row, y + row, 7 - 2 * row, 1, textColour);
    }

    if (hasFocus()) {
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
}

void FlatButton::keyPressEvent(QKeyEvent *event)
{
    // Reached by its letter, the button is pressed by Enter too.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()
        && isEnabled()) {
        accelerate();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void FlatButton::focusInEvent(QFocusEvent *event)
{
    QAbstractButton::focusInEvent(event);
    update();
}

void FlatButton::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    update();
}

OpaqueFlatButton::OpaqueFlatButton(QWidget *parent)
    : FlatButton(parent)
{
    // Qt paints every widget off-screen and copies it in one step already;
    // what remains is the opaque button-coloured ground.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
}

} // namespace widgets
