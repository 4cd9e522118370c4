#include "editor/toolbarrow.h"

#include "assets/assets.h"
#include "widgets/flatbutton.h"
#include "widgets/tiledpicture.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QScreen>
#include <QWindow>

namespace editor {

namespace {

struct ButtonLook
{
    const char *caption;
    const char *picture;
};

// In the order of ToolbarRow::Button.
const ButtonLook kLooks[ToolbarRow::kButtonCount] = {
    {"&New", "toolbar/new"},
    {"&Open", "toolbar/open"},
    {"&Save", "toolbar/save"},
    {"&Copy All", "toolbar/copyall"},
    {"&Paste", "toolbar/paste"},
    {"E&ncrypt", "toolbar/encrypt"},
    {"&Decrypt", "toolbar/decrypt"},
    {"Quick &Mail", "toolbar/quickmail"},
};

constexpr int kButtonWidth = 65;
// The least picture side a button keeps, however large the font.
constexpr int kLeastGlyph = 16;

// The ground picture's design size and the grey in it that lets the window
// colour show through.
constexpr QSize kTileSize {16, 16};
const QColor kSeeThrough {200, 200, 200};

} // namespace

ToolbarRow::ToolbarRow(
    const QString &objectName, bool captions, int height, int buttonHeight, QWidget *parent)
    : QFrame(parent)
    , m_ground(new widgets::TiledPicture(this))
{
    setObjectName(objectName);
    m_ground->setMode(widgets::TiledPicture::Mode::Transparent);

    // Captions fit the buttons at the font's size where they can; at most a
    // few steps smaller where a wide font would cut "Quick Mail". A larger
    // font than that widens the buttons instead: the placed sizes are the
    // least, no caption is cut.
    int buttonWidth = kButtonWidth;
    if (captions) {
        const auto widest = [](const QFont &f) {
            int widest = 0;
            for (const ButtonLook &look : kLooks)
                widest = qMax(widest,
                    QFontMetrics(f).horizontalAdvance(
                        QString::fromLatin1(look.caption).remove(QLatin1Char('&'))));
            return widest;
        };
        QFont smaller = font();
        for (int step = 0;
             step < 4 && widest(smaller) > kButtonWidth - 4 && smaller.pointSizeF() > 0; ++step)
            smaller.setPointSizeF(smaller.pointSizeF() - 0.5);
        if (widest(smaller) > kButtonWidth - 4)
            smaller = font();
        setFont(smaller);
        buttonWidth = qMax(kButtonWidth, widest(smaller) + 6);
    }
    // The pictures take what the button leaves inside its bevel and, in the
    // row with captions, a line of the caption and the gap above it; where a
    // large font leaves them too little, the row grows taller.
    const int captionRoom = captions ? fontMetrics().height() + 2 : 0;
    const int grow = qMax(0, kLeastGlyph + 4 + captionRoom - buttonHeight);
    buttonHeight += grow;
    height += grow;
    setFixedHeight(height);
    m_glyphSide =
        qBound(kLeastGlyph, buttonHeight - 4 - captionRoom, assets::kToolbarSize.height()) & ~1;

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, (height - buttonHeight) / 2, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        auto *button = new widgets::FlatButton(this);
        const QString caption = QString::fromLatin1(kLooks[i].caption);
        const QString name = QString(caption).remove(QLatin1Char('&'));
        button->setText(captions ? caption : QString());
        button->setToolTip(name);
        button->setAccessibleName(name);
        button->setFixedSize(buttonWidth, buttonHeight);
        connect(button, &QAbstractButton::clicked, this, [this, i] { emit pressed(Button(i)); });
        layout->addWidget(button, 0, Qt::AlignTop);
        m_buttons << button;
    }
    layout->addStretch(1);
    renderPictures();
}

QAbstractButton *ToolbarRow::button(Button which) const
{
    return m_buttons[which];
}

void ToolbarRow::renderPictures()
{
    const qreal ratio = devicePixelRatioF();
    if (ratio == m_pixelRatio)
        return;
    m_pixelRatio = ratio;
    const QSize side(m_glyphSide, m_glyphSide);
    for (int i = 0; i < kButtonCount; ++i) {
        const QPixmap picture =
            assets::picture(QString::fromLatin1(kLooks[i].picture), side, ratio);
        m_buttons[i]->setGlyph(picture);
        // At rest the buttons show their picture in grey; drawn from the
        // picture's own lightness it stays as legible as the picture.
        m_buttons[i]->setNoFocusGlyph(assets::greyForm(picture));
    }
    m_ground->setPicture(assets::picture(QStringLiteral("tile"), kTileSize, ratio));
    m_ground->setTransparentColor(kSeeThrough);
}

void ToolbarRow::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_ground->setGeometry(rect());
    m_ground->lower();
}

void ToolbarRow::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    renderPictures();
    // Moving to a screen of another pixel ratio draws the pictures afresh.
    if (!m_followsScreen && window()->windowHandle()) {
        m_followsScreen = true;
        connect(
            window()->windowHandle(), &QWindow::screenChanged, this, [this] { renderPictures(); });
    }
}

} // namespace editor
