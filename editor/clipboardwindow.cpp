#include "editor/clipboardwindow.h"

#include "gui/modal.h"
#include "settings/values.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace editor {

ClipboardWindow::ClipboardWindow(QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ClipboardWindow"));
    setWindowTitle(QStringLiteral("Clear Clipboard"));
    auto *label = new QLabel(
        QStringLiteral("Text copied from a decrypted document is cleared\nfrom the clipboard "
                       "after (0 for never):"),
        this);
    m_seconds = new QSpinBox(this);
    m_seconds->setObjectName(QStringLiteral("Seconds"));
    m_seconds->setAccessibleName(QStringLiteral("Seconds until the clipboard is cleared"));
    m_seconds->setRange(0, 3600);
    m_seconds->setSuffix(QStringLiteral(" seconds"));
    m_seconds->setSpecialValueText(QStringLiteral("Never"));
    label->setBuddy(m_seconds);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("Ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_seconds);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (gui::guarded([this] { settings::writeClipboardDelay(m_seconds->value()); }))
            accept();
        else
            reject();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int ClipboardWindow::seconds() const
{
    return m_seconds->value();
}

bool ClipboardWindow::choose()
{
    m_seconds->setValue(settings::readClipboardDelay());
    m_seconds->setFocus();
    m_seconds->selectAll();
    return gui::modal().execModal(*this) == QDialog::Accepted;
}

} // namespace editor
