#include "cipher/windows/keypicker.h"

#include "gui/modal.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace cipher::windows {

namespace {

enum Column { Name, Address, KeyId, Validity, Expires, ColumnCount };
constexpr int kFingerprintRole = Qt::UserRole;

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString expiry(long long expires)
{
    if (expires <= 0)
        return QStringLiteral("never");
    return QDateTime::fromSecsSinceEpoch(expires).date().toString(Qt::ISODate);
}

} // namespace

KeyPicker::KeyPicker(QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("KeyPicker"));
    setWindowTitle(QStringLiteral("Encrypt for Recipients"));

    auto *searchLabel = new QLabel(QStringLiteral("&Search:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("Search"));
    m_search->setPlaceholderText(QStringLiteral("name, address or key ID"));
    m_search->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_search);

    auto *keysLabel = new QLabel(QStringLiteral("&Recipients (tick each one):"), this);
    m_keys = new QTreeWidget(this);
    m_keys->setObjectName(QStringLiteral("Keys"));
    m_keys->setAccessibleName(QStringLiteral("Public keys"));
    m_keys->setColumnCount(ColumnCount);
    m_keys->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Address"),
        QStringLiteral("Key ID"), QStringLiteral("Validity"), QStringLiteral("Expires")});
    m_keys->setRootIsDecorated(false);
    m_keys->setUniformRowHeights(true);
    m_keys->setSortingEnabled(true);
    m_keys->sortByColumn(Name, Qt::AscendingOrder);
    m_keys->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_keys->header()->setStretchLastSection(false);
    keysLabel->setBuddy(m_keys);
    // Shown instead of an empty list.
    m_none = new QLabel(
        QStringLiteral("There are no public keys in your keyring. Import the recipients' keys "
                       "with your OpenPGP program first."),
        this);
    m_none->setObjectName(QStringLiteral("NoKeys"));
    m_none->setWordWrap(true);
    m_none->hide();

    m_myself = new QCheckBox(QStringLiteral("Also to &myself"), this);
    m_myself->setObjectName(QStringLiteral("Myself"));

    auto *buttons = new QDialogButtonBox(this);
    m_encrypt = buttons->addButton(QStringLiteral("&Encrypt"), QDialogButtonBox::AcceptRole);
    m_encrypt->setObjectName(QStringLiteral("Encrypt"));
    QPushButton *cancel =
        buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancel"));

    auto *layout = new QVBoxLayout(this);
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_search, 1);
    layout->addLayout(searchRow);
    layout->addWidget(keysLabel);
    layout->addWidget(m_keys, 1);
    layout->addWidget(m_none);
    layout->addWidget(m_myself);
    layout->addWidget(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &KeyPicker::filter);
    connect(m_keys, &QTreeWidget::itemChanged, this, &KeyPicker::updateButton);
    connect(m_myself, &QCheckBox::toggled, this, &KeyPicker::updateButton);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Down from the search goes into the list, as in a search field of a
    // file dialog.
    setTabOrder(m_search, m_keys);
    setTabOrder(m_keys, m_myself);
    resize(620, 360);
}

void KeyPicker::setKeys(
    const std::vector<openpgp::Key> &keys, const std::optional<openpgp::Key> &own)
{
    const QSignalBlocker blocker(m_keys);
    m_keys->clear();
    for (const openpgp::Key &key : keys) {
        auto *item = new QTreeWidgetItem;
        item->setText(Name, fromStd(key.name));
        item->setText(Address, fromStd(key.email));
        item->setText(KeyId, fromStd(key.keyId));
        item->setText(Validity, key.canEncrypt ? fromStd(key.validity) : fromStd(key.whyNot));
        item->setText(Expires, expiry(key.expires));
        item->setData(Name, kFingerprintRole, fromStd(key.fingerprint));
        const QString tip = QStringLiteral("Fingerprint %1").arg(fromStd(key.fingerprint));
        if (key.canEncrypt) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Name, Qt::Unchecked);
            for (int c = 0; c < ColumnCount; ++c)
                item->setToolTip(c, tip);
        } else {
            // Shown, so the user sees the key is there and why it cannot be
            // used, but not to be chosen.
            item->setFlags(Qt::ItemIsSelectable);
            for (int c = 0; c < ColumnCount; ++c)
                item->setToolTip(c,
                    QStringLiteral("Cannot encrypt to this key: %1.\n%2")
                        .arg(fromStd(key.whyNot), tip));
        }
        m_keys->addTopLevelItem(item);
    }
    m_keys->setVisible(!keys.empty());
    m_none->setVisible(keys.empty());
    m_own = own ? fromStd(own->fingerprint) : QString();
    if (own) {
        m_myself->setText(QStringLiteral("Also to &myself (%1)")
                              .arg(fromStd(own->email.empty() ? own->name : own->email)));
        m_myself->setEnabled(true);
        m_myself->setChecked(true);
    } else {
        m_myself->setText(QStringLiteral("Also to &myself (you have no key of your own)"));
        m_myself->setChecked(false);
        m_myself->setEnabled(false);
    }
    m_search->clear();
    filter({});
    updateButton();
    // Wide enough for every column in the font in use, as far as the
    // screen allows.
    const int columns = m_keys->header()->length() + 2 * m_keys->frameWidth()
        + m_keys->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout()->contentsMargins();
    const int wanted = columns + margins.left() + margins.right();
    const int room = screen() ? screen()->availableGeometry().width() * 9 / 10 : wanted;
    resize(qMax(width(), qMin(wanted, room)), qMax(height(), fontMetrics().height() * 22));
}

void KeyPicker::filter(const QString &text)
{
    const QString needle = text.trimmed();
    QTreeWidgetItem *firstShown = nullptr;
    for (int i = 0; i < m_keys->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_keys->topLevelItem(i);
        bool match = needle.isEmpty();
        for (int c = 0; c < ColumnCount && !match; ++c)
            match = item->text(c).contains(needle, Qt::CaseInsensitive);
        match = match
            || item->data(Name, kFingerprintRole).toString().contains(needle, Qt::CaseInsensitive);
        // A ticked key stays in view: the user sees every recipient chosen.
        match = match || item->checkState(Name) == Qt::Checked;
        item->setHidden(!match);
        if (match && !firstShown)
            firstShown = item;
    }
    if (firstShown && (!m_keys->currentItem() || m_keys->currentItem()->isHidden()))
        m_keys->setCurrentItem(firstShown);
}

void KeyPicker::updateButton()
{
    m_encrypt->setEnabled(!recipients().isEmpty());
}

QStringList KeyPicker::recipients() const
{
    QStringList out;
    for (int i = 0; i < m_keys->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_keys->topLevelItem(i);
        const QString fingerprint = item->data(Name, kFingerprintRole).toString();
        if (item->checkState(Name) == Qt::Checked && !out.contains(fingerprint))
            out << fingerprint;
    }
    if (m_myself->isChecked() && !m_own.isEmpty() && !out.contains(m_own))
        out << m_own;
    return out;
}

bool KeyPicker::choose()
{
    m_search->setFocus();
    return gui::modal().execModal(*this) == QDialog::Accepted;
}

} // namespace cipher::windows
