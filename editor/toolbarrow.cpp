#include "editor/toolbarrow.h"

#include "assets/assets.h"

#include <QHBoxLayout>
#include <QToolButton>

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

} // namespace

ToolbarRow::ToolbarRow(
    const QString &objectName, bool captions, int height, int buttonHeight, QWidget *parent)
    : QFrame(parent)
{
    setObjectName(objectName);
    setFixedHeight(height);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, (height - buttonHeight) / 2, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        // Flat buttons, the picture above the caption when it is shown.
        auto *button = new QToolButton(this);
        button->setAutoRaise(true);
        button->setIcon(assets::icon(QString::fromLatin1(kLooks[i].picture)));
        const int side = qMin(assets::kToolbarSize.height(), buttonHeight - (captions ? 19 : 5));
        button->setIconSize(QSize(side, side));
        button->setToolButtonStyle(captions ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
        const QString caption = QString::fromLatin1(kLooks[i].caption);
        button->setText(captions ? caption : QString());
        if (!captions)
            button->setToolTip(QString(caption).remove(QLatin1Char('&')));
        button->setFixedSize(65, buttonHeight);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, i] { emit pressed(Button(i)); });
        layout->addWidget(button, 0, Qt::AlignTop);
        m_buttons << button;
    }
    layout->addStretch(1);
}

} // namespace editor
