#pragma once

// One row of the main window's toolbar: the eight command buttons, with their
// captions under the pictures (Panel3) or pictures only (Panel1), over the
// tiled toolbar ground.

#include <QFrame>
#include <QList>

class QAbstractButton;

namespace widgets {
class FlatButton;
class TiledPicture;
} // namespace widgets

namespace editor {

class ToolbarRow : public QFrame
{
    Q_OBJECT
public:
    // The buttons in their order along the row.
    enum Button { New, Open, Save, CopyAll, Paste, Encrypt, Decrypt, QuickMail };
    static constexpr int kButtonCount = 8;

    // A row of the given height whose buttons are buttonHeight high.
    ToolbarRow(const QString &objectName, bool captions, int height, int buttonHeight,
        QWidget *parent = nullptr);

    QAbstractButton *button(Button which) const;

signals:
    void pressed(editor::ToolbarRow::Button which);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Draws the pictures for the screen the row is on.
    void renderPictures();

    QList<widgets::FlatButton *> m_buttons;
    widgets::TiledPicture *m_ground;
    int m_glyphSide = 0;
    qreal m_pixelRatio = 0;
    bool m_followsScreen = false;
};

} // namespace editor
