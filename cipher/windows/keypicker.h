#pragma once

// Encrypt for Recipients: the user's public keys to choose from (name,
// address, key ID, validity, expiry), searchable, several at once, and
// "also to myself" with the user's own key, on by default. Keys that cannot
// encrypt are shown greyed with the reason.

#include "cipher/openpgp.h"

#include <QDialog>
#include <QStringList>

#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace cipher::windows {

class KeyPicker : public QDialog
{
    Q_OBJECT
public:
    explicit KeyPicker(QWidget *parent = nullptr);

    // Fills the list; own: the user's default secret key, when there is one.
    void setKeys(const std::vector<openpgp::Key> &keys, const std::optional<openpgp::Key> &own);
    // Shows the window through the modal seam; true when Encrypt was chosen.
    bool choose();
    // The fingerprints chosen, the user's own last when "also to myself" is
    // ticked; each once.
    QStringList recipients() const;

private:
    void filter(const QString &text);
    void updateButton();

    QLineEdit *m_search;
    QTreeWidget *m_keys;
    QCheckBox *m_myself;
    QLabel *m_none;
    QPushButton *m_encrypt;
    QString m_own;
};

} // namespace cipher::windows
