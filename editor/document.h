#pragma once

// The one document of the main window: its text (the editor control it
// wraps), the file name the status bar shows, whether it has unsaved
// changes and whether it holds decrypted text, its loading and saving, and
// its encryption and decryption through the encryption service, run off the
// window's thread. The main window, the status bar and the tests follow it
// through its signals; the password dialogs reach it only as an
// Encryptable.

#include "cipher/windows/encryptable.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace gui {
class RichEdit;
}

namespace editor {

class Document : public QObject, public cipher::windows::Encryptable
{
    Q_OBJECT
public:
    Document(gui::RichEdit &editor, QObject *parent = nullptr);

    gui::RichEdit &editor() const { return m_editor; }

    // The file the status bar names; empty for none.
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName);
    bool isModified() const { return m_modified; }
    void setModified(bool modified);
    // Whether the text is what Decrypt gave and was not encrypted again
    // since: its copies are secret, and it is saved for the user's eyes only.
    bool isDecrypted() const { return m_decrypted; }
    // Whether Encrypt or Decrypt is at work: the text is not to be touched.
    bool isBusy() const { return !m_working.isEmpty(); }

    // An empty text, not decrypted; the file name and the modified mark are
    // the caller's.
    void clear();
    // Reads the file (see rtfcodec.h) and names it; errors are thrown and
    // leave the document as it was.
    void load(const QString &fileName);
    // Writes the text to the file; decrypted text goes to a file only the
    // user can read. True when an existing file others could read was made
    // so. Errors are thrown.
    bool save(const QString &fileName) const;

    // Encryptable: the dialogs' commands. Neither can be undone: after
    // Encrypt no step back may bring the plain text back, and a step back
    // from Decrypt would only give the block again.
    cipher::service::Result encrypt(
        int level, const QString &password, const QString &confirmation) override;
    // Decrypts the block at the caret, or the first when the caret is in
    // none.
    cipher::service::Result decrypt(const QString &password) override;

    // The block Decrypt works on, and what opening it takes (finding that
    // out for an OpenPGP block asks GnuPG, off the window's thread);
    // nullopt when the text holds none.
    struct Target
    {
        cipher::service::Found block;
        cipher::service::Requirement requirement;
    };
    std::optional<Target> decryptTarget();
    // The whole text becomes one OpenPGP message for the keys.
    cipher::service::Result encryptFor(const QStringList &fingerprints);
    // The user's public keys and own default key, from GnuPG.
    struct Keys
    {
        std::vector<cipher::openpgp::Key> all;
        std::optional<cipher::openpgp::Key> own;
    };
    Keys keys();
    // The signature of the message the last Decrypt opened; None for one
    // that was not signed.
    cipher::service::Signature lastSignature() const { return m_signature; }

signals:
    void fileNameChanged(const QString &fileName);
    void modifiedChanged(bool modified);
    void decryptedChanged(bool decrypted);
    // The whole text was replaced by a command (New, Open, Encrypt, Decrypt).
    void replaced();
    // What the document is at ("Encrypting...", "Decrypting..."); empty
    // when it is done.
    void working(const QString &what);

private:
    void setDecrypted(bool decrypted);
    // Runs the service's job off the window's thread, saying what it does.
    void runJob(const QString &what, const std::function<void()> &job);
    // After Encrypt or Decrypt replaced the text.
    void commandReplaced(bool decrypted);
    // The text as the service reads it for the encoding; the caret's place
    // in the UTF-8 one.
    cipher::Bytes bytes(cipher::service::Encoding encoding) const;
    std::size_t caretInUtf8() const;
    // Puts the text the service gave back in place of the document's.
    void replaceWith(cipher::service::Result &result, cipher::Bytes &text, bool decrypted);

    gui::RichEdit &m_editor;
    QString m_fileName;
    QString m_working;
    bool m_modified = false;
    bool m_decrypted = false;
    cipher::service::Signature m_signature;
};

} // namespace editor
