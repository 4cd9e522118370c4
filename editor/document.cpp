#include "editor/document.h"

#include "cipher/hardening.h"
#include "cipher/strong.h"
#include "cipher/windows/password.h"
#include "gui/background.h"
#include "gui/richedit.h"

#include <QStringDecoder>
#include <QTextDocument>

namespace editor {

using namespace cipher;
using cipher::windows::KeyBuffer;
using cipher::windows::passwordBytes;
using cipher::windows::wipe;

namespace {

// Moves the bytes into a string the service works on, leaving none behind.
Bytes take(QByteArray &bytes)
{
    Bytes text(bytes.constData(), std::size_t(bytes.size()));
    wipe(bytes);
    return text;
}

void forget(Bytes &text)
{
    cipher::wipe(text.data(), text.size());
    text.clear();
}

} // namespace

Document::Document(gui::RichEdit &editor, QObject *parent)
    : QObject(parent)
    , m_editor(editor)
{
    // The platform's control marks its document modified at every caret or
    // selection move the user makes, as well as at every edit.
    connect(&editor, &gui::RichEdit::selectionMoved, this, [this] { setModified(true); });
}

void Document::setFileName(const QString &fileName)
{
    m_fileName = fileName;
    emit fileNameChanged(fileName);
}

void Document::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

void Document::setDecrypted(bool decrypted)
{
    m_editor.setSecretCopies(decrypted);
    if (decrypted == m_decrypted)
        return;
    m_decrypted = decrypted;
    emit decryptedChanged(decrypted);
}

void Document::clear()
{
    m_editor.setText({});
    setDecrypted(false);
    emit replaced();
}

void Document::load(const QString &fileName)
{
    m_editor.loadFromFile(fileName);
    setDecrypted(false);
    setFileName(fileName);
    emit replaced();
}

bool Document::save(const QString &fileName) const
{
    return m_editor.saveToFile(fileName, m_decrypted);
}

void Document::runJob(const QString &what, const std::function<void()> &job)
{
    m_working = what;
    emit working(what);
    struct Done
    {
        Document *document;
        ~Done()
        {
            document->m_working.clear();
            emit document->working({});
        }
    } done {this};
    gui::runInBackground([&job] {
        // The key derivation's and the cipher's locals held the password
        // and the text on the worker's stack.
        struct Wiped
        {
            ~Wiped() { cipher::wipeStack(); }
        } wiped;
        job();
    });
}

void Document::commandReplaced(bool decrypted)
{
    // Neither command can be undone (see encrypt()).
    m_editor.document()->clearUndoRedoStacks();
    setDecrypted(decrypted);
    setModified(true);
    emit replaced();
}

service::Result Document::encrypt(int level, const QString &password, const QString &confirmation)
{
    service::Result result;
    KeyBuffer key(passwordBytes(password));
    KeyBuffer confirmationKey(passwordBytes(confirmation));
    result.told = service::checkPasswords(key.view(), confirmationKey.view(), level);
    // A password character is named as it was typed: one the 8-bit code
    // page cannot hold reaches the cipher as "?", and is refused all the
    // same, since it would not come back.
    if (const std::optional<QString> typed = windows::passwordProblem(password)) {
        bool named = false;
        for (service::Fact &fact : result.told) {
            if (fact.verdict == service::Verdict::PasswordCharacter) {
                fact.what = typed->toStdString();
                named = true;
            }
        }
        if (!named && result.told.empty())
            result.told.push_back(
                {service::Verdict::PasswordCharacter, level, typed->toStdString()});
    }
    if (!result.told.empty())
        return result;

    // The legacy levels take the 8-bit text, and are asked first whether
    // they carry it exactly, in the words of its characters; the strong
    // level seals the document's own characters in UTF-8.
    const service::Encoding encoding =
        level == service::kOpenPgpPassword ? service::Encoding::Utf8 : service::encodingFor(level);
    if (encoding == service::Encoding::EightBit) {
        QString characters = m_editor.characters();
        const std::optional<QString> problem = windows::textProblem(characters);
        wipe(characters);
        if (problem) {
            result.told.push_back(
                {service::Verdict::TextNotCarried, level, problem->toStdString()});
            return result;
        }
    }
    Bytes text = bytes(encoding);
    runJob(QStringLiteral("Encrypting..."),
        [&] { result = service::encrypt(text, level, key.view(), confirmationKey.view()); });
    replaceWith(result, text, false);
    return result;
}

Bytes Document::bytes(service::Encoding encoding) const
{
    if (encoding == service::Encoding::EightBit) {
        QByteArray eightBit = m_editor.text();
        return take(eightBit);
    }
    QString characters = m_editor.characters();
    QByteArray utf8 = characters.toUtf8();
    wipe(characters);
    return take(utf8);
}

std::size_t Document::caretInUtf8() const
{
    // characters() ends each line with CR LF.
    QString before = m_editor.document()->toRawText().left(m_editor.textCursor().position());
    before.replace(QChar(QChar::ParagraphSeparator), QLatin1String("\r\n"));
    before.replace(QChar(QChar::LineSeparator), QLatin1String("\r\n"));
    const std::size_t at = std::size_t(before.toUtf8().size());
    wipe(before);
    return at;
}

std::optional<Document::Target> Document::decryptTarget()
{
    Bytes text = bytes(service::Encoding::Utf8);
    const std::vector<service::Found> blocks = service::find(text);
    if (blocks.empty()) {
        forget(text);
        return std::nullopt;
    }
    const std::size_t caret = caretInUtf8();
    Target target {blocks.front(), {}};
    for (const service::Found &block : blocks) {
        if (block.begin <= caret && caret <= block.end) {
            target.block = block;
            break;
        }
    }
    if (target.block.kind == service::Kind::OpenPgp) {
        runJob(QStringLiteral("Reading the encrypted block..."),
            [&] { target.requirement = service::inspect(text, target.block); });
    }
    forget(text);
    return target;
}

service::Result Document::decrypt(const QString &password)
{
    service::Result result;
    m_signature = {};
    KeyBuffer key(passwordBytes(password));
    // Every kind finds its blocks in the UTF-8 text, and in the same order
    // in the 8-bit one the legacy levels read.
    Bytes text = bytes(service::Encoding::Utf8);
    const std::vector<service::Found> blocks = service::find(text);
    if (blocks.empty()) {
        forget(text);
        result.told.push_back({service::Verdict::NoBlock, 0, {}});
        return result;
    }
    const std::size_t caret = caretInUtf8();
    std::size_t chosen = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].begin <= caret && caret <= blocks[i].end) {
            chosen = i;
            break;
        }
    }
    service::Found block = blocks[chosen];
    if (block.kind == service::Kind::Legacy) {
        forget(text);
        text = bytes(service::Encoding::EightBit);
        const std::vector<service::Found> eightBit = service::find(text);
        block = chosen < eightBit.size() ? eightBit[chosen] : block;
    }
    runJob(QStringLiteral("Decrypting..."),
        [&] { result = service::decrypt(text, block, key.view()); });
    m_signature = result.signature;
    replaceWith(result, text, true);
    return result;
}

service::Result Document::encryptFor(const QStringList &fingerprints)
{
    service::Result result;
    std::vector<std::string> keys;
    for (const QString &f : fingerprints)
        keys.push_back(f.toStdString());
    Bytes text = bytes(service::Encoding::Utf8);
    runJob(QStringLiteral("Encrypting..."), [&] { result = service::encryptFor(text, keys); });
    replaceWith(result, text, false);
    return result;
}

Document::Keys Document::keys()
{
    Keys keys;
    runJob(QStringLiteral("Reading your keys..."), [&] {
        keys.all = openpgp::listKeys();
        keys.own = openpgp::defaultSecretKey();
    });
    return keys;
}

void Document::replaceWith(service::Result &result, Bytes &text, bool decrypted)
{
    if (result.replaced && decrypted && result.kind != service::Kind::Legacy) {
        // vlq seals any bytes. Ones that are not UTF-8 would come back as
        // replacement characters, and a save would lose them for good: the
        // block stays instead, for vlq to open exactly. A byte order mark is
        // a character like any other here.
        QStringDecoder decoder(QStringDecoder::Utf8,
            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        QString plain = decoder(QByteArrayView(text.data(), qsizetype(text.size())));
        if (decoder.hasError()) {
            result.replaced = false;
            result.told = {{service::Verdict::NotText, strong::kLevel, {}}};
        } else {
            m_editor.setCharacters(plain);
        }
        wipe(plain);
    } else if (result.replaced) {
        // A legacy checksum error still gives the text, which is usually
        // mostly right; a block is ASCII.
        QByteArray plain(text.data(), qsizetype(text.size()));
        m_editor.setText(plain);
        wipe(plain);
    }
    forget(text);
    if (result.replaced)
        commandReplaced(decrypted);
}

} // namespace editor
