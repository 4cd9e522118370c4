#include "gui/richedit.h"

#include "document/cp1252.h"
#include "document/rtfcodec.h"

#include <QApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

#include <algorithm>

namespace gui {

namespace {

const QString kRtfMime = QStringLiteral("text/rtf");
const QString kRtfMimeAlt = QStringLiteral("application/rtf");

// Bytes a block's text takes in the 8-bit string, plus 2 for the line break
// after it (the last block's is taken off the total).
qint64 blockBytes(QStringView text)
{
    qint64 n = text.size() + 2;
    const QChar *p = text.data();
    const QChar *end = p + text.size();
    for (; p != end; ++p) {
        const char16_t c = p->unicode();
        if (c < 0x2028)
            continue;
        if (c == 0x2028 || c == 0x2029)
            ++n; // a line break inside the paragraph is CR LF
        else if (QChar::isLowSurrogate(c) && p != text.data() && (p - 1)->isHighSurrogate())
            --n; // a pair is one character
    }
    return n;
}

qint64 blockMarkers(QStringView text, const QStringList &markers)
{
    qint64 n = 0;
    for (const QString &marker : markers)
        n += marker.isEmpty() ? 0 : text.count(marker);
    return n;
}

} // namespace

struct RichEditTotals
{
    qint64 bytes = 0;
    qint64 markers = 0;
};

namespace {

// What one block adds to the totals; taken off again when Qt deletes the
// block (and its data) or when the block is counted anew.
class BlockData : public QTextBlockUserData
{
public:
    BlockData(std::shared_ptr<RichEditTotals> totals, qint64 bytes, qint64 markers)
        : m_totals(std::move(totals))
        , m_bytes(bytes)
        , m_markers(markers)
    {
        m_totals->bytes += bytes;
        m_totals->markers += markers;
    }
    ~BlockData() override
    {
        m_totals->bytes -= m_bytes;
        m_totals->markers -= m_markers;
    }
    bool countsInto(const RichEditTotals *totals) const { return m_totals.get() == totals; }
    void update(qint64 bytes, qint64 markers)
    {
        m_totals->bytes += bytes - m_bytes;
        m_totals->markers += markers - m_markers;
        m_bytes = bytes;
        m_markers = markers;
    }

private:
    std::shared_ptr<RichEditTotals> m_totals;
    qint64 m_bytes;
    qint64 m_markers;
};

} // namespace

// Whole-text replacements by commands are not the user's caret moves.
class RichEdit::Replacing
{
public:
    explicit Replacing(RichEdit *edit)
        : m_edit(edit)
    {
        ++m_edit->m_replacing;
    }
    ~Replacing() { --m_edit->m_replacing; }

private:
    RichEdit *m_edit;
};

RichEdit::RichEdit(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    // Lines break at word boundaries only. Qt's default, which also breaks
    // inside a word too long for the line, looks for a word boundary up to
    // the paragraph's end again for every line: minutes for a long line
    // without blanks. Such a word now stays one line, reached by scrolling.
    setWordWrapMode(QTextOption::WordWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(document(), &QTextDocument::contentsChange, this, &RichEdit::onContentsChange);
    const auto moved = [this] {
        if (!m_replacing)
            emit selectionMoved();
    };
    connect(this, &QTextEdit::cursorPositionChanged, this, moved);
    connect(this, &QTextEdit::selectionChanged, this, moved);
    recountAll();
}

RichEdit::~RichEdit() = default;

void RichEdit::recountAll()
{
    // Fresh totals: data of blocks counted before points at the old ones.
    m_totals = std::make_shared<RichEditTotals>();
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const QString t = b.text();
        b.setUserData(new BlockData(m_totals, blockBytes(t), blockMarkers(t, m_markers)));
    }
}

void RichEdit::onContentsChange(int position, int, int added)
{
    QTextDocument *doc = document();
    if (position == 0 && added + 1 >= doc->characterCount()) {
        recountAll();
    } else {
        QTextBlock last = doc->findBlock(position + added);
        if (!last.isValid())
            last = doc->lastBlock();
        QTextBlock b = doc->findBlock(position);
        if (!b.isValid())
            b = doc->begin();
        for (; b.isValid(); b = b.next()) {
            const QString t = b.text();
            auto *data = static_cast<BlockData *>(b.userData());
            if (data && data->countsInto(m_totals.get()))
                data->update(blockBytes(t), blockMarkers(t, m_markers));
            else
                b.setUserData(new BlockData(m_totals, blockBytes(t), blockMarkers(t, m_markers)));
            if (b == last)
                break;
        }
    }
    emit changed();
}

qint64 RichEdit::byteCount() const
{
    return m_totals->bytes - 2;
}

void RichEdit::setMarkers(const QStringList &markers)
{
    if (markers == m_markers)
        return;
    m_markers = markers;
    recountAll();
}

bool RichEdit::containsMarker() const
{
    return m_totals->markers > 0;
}

QString RichEdit::secretHintFormat()
{
    return QStringLiteral("x-kde-passwordManagerHint");
}

QByteArray RichEdit::secretHintValue()
{
    return QByteArrayLiteral("secret");
}

QString RichEdit::characters() const
{
    QString raw = document()->toRawText();
    raw.replace(QChar(QChar::ParagraphSeparator), QLatin1String("\r\n"));
    raw.replace(QChar(QChar::LineSeparator), QLatin1String("\r\n"));
    return raw;
}

QByteArray RichEdit::text() const
{
    return document::cp1252::encode(document()->toRawText());
}

void RichEdit::setText(const QByteArray &bytes)
{
    // CR LF, lone CR and lone LF all end a line, as in the platform's control.
    QString text = document::cp1252::decode(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Replacing replacing(this);
    clear();
    setPlainText(text);
}

void RichEdit::setCharacters(const QString &characters)
{
    QString text = characters;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Replacing replacing(this);
    clear();
    setPlainText(text);
}

void RichEdit::loadFromFile(const QString &fileName)
{
    Replacing replacing(this);
    document::rtf::loadFile(*document(), fileName);
}

bool RichEdit::saveToFile(const QString &fileName, bool privately) const
{
    return document::rtf::saveFile(*document(), fileName, m_writtenColor,
        privately ? document::rtf::Access::Private : document::rtf::Access::AsFile);
}

void RichEdit::setDefaultFormat(const QFont &font, const QColor &color)
{
    document()->setDefaultFont(font);
    const QColor platform = QApplication::palette(this).color(QPalette::Text);
    m_writtenColor = color.isValid() && color.rgb() != platform.rgb() ? color : QColor();
    QPalette p = palette();
    p.setColor(QPalette::Text, color.isValid() ? color : platform);
    setPalette(p);
}

QColor RichEdit::defaultColor() const
{
    return palette().color(QPalette::Text);
}

bool RichEdit::wordWrap() const
{
    return lineWrapMode() != QTextEdit::NoWrap;
}

void RichEdit::setWordWrap(bool on)
{
    setLineWrapMode(on ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}

void RichEdit::insertFromMimeData(const QMimeData *source)
{
    // Rich text from other programs comes as RTF or HTML; both are taken in
    // through a scratch document and only what this editor's documents hold
    // (paragraphs of formatted text) is pasted.
    QByteArray rtfBytes;
    if (source->hasFormat(kRtfMime))
        rtfBytes = source->data(kRtfMime);
    else if (source->hasFormat(kRtfMimeAlt))
        rtfBytes = source->data(kRtfMimeAlt);
    QTextDocument scratch;
    scratch.setDefaultFont(document()->defaultFont());
    if (!rtfBytes.isEmpty() && document::rtf::looksLikeRtf(rtfBytes)) {
        try {
            document::rtf::loadBytes(scratch, rtfBytes);
        } catch (const document::Error &) {
            QTextEdit::insertFromMimeData(source);
            return;
        }
        textCursor().insertFragment(QTextDocumentFragment(&scratch));
        return;
    }
    if (source->hasHtml()) {
        scratch.setHtml(source->html());
        QTextDocument flat;
        QTextCursor out(&flat);
        bool first = true;
        for (QTextBlock b = scratch.begin(); b.isValid(); b = b.next()) {
            if (!first)
                out.insertBlock();
            first = false;
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                QString t = f.text();
                t.remove(QChar::ObjectReplacementCharacter);
                const QTextCharFormat in = f.charFormat();
                QTextCharFormat fmt;
                if (in.hasProperty(QTextFormat::FontFamilies))
                    fmt.setFontFamilies(in.fontFamilies().toStringList());
                if (in.hasProperty(QTextFormat::FontPointSize))
                    fmt.setFontPointSize(in.fontPointSize());
                if (in.hasProperty(QTextFormat::FontWeight))
                    fmt.setFontWeight(in.fontWeight());
                if (in.hasProperty(QTextFormat::FontItalic))
                    fmt.setFontItalic(in.fontItalic());
                if (in.hasProperty(QTextFormat::TextUnderlineStyle)
                    || in.hasProperty(QTextFormat::FontUnderline))
                    fmt.setFontUnderline(in.fontUnderline());
                if (in.hasProperty(QTextFormat::FontStrikeOut))
                    fmt.setFontStrikeOut(in.fontStrikeOut());
                if (in.hasProperty(QTextFormat::ForegroundBrush))
                    fmt.setForeground(in.foreground());
                out.insertText(t, fmt);
            }
        }
        textCursor().insertFragment(QTextDocumentFragment(&flat));
        return;
    }
    if (source->hasText()) {
        textCursor().insertText(source->text());
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

QMimeData *RichEdit::createMimeDataFromSelection() const
{
    const QTextDocumentFragment fragment = textCursor().selection();
    if (fragment.isEmpty())
        return QTextEdit::createMimeDataFromSelection();
    // Plain text, HTML and RTF, which other programs take rich text from us
    // as; text without a colour of its own goes in the default colour.
    auto *data = new QMimeData;
    data->setText(fragment.toPlainText());
    QTextDocument selection;
    selection.setDefaultFont(document()->defaultFont());
    QTextCursor(&selection).insertFragment(fragment);
    if (m_writtenColor.isValid()) {
        // The runs are found first: colouring one may merge it with the next.
        QList<std::pair<int, int>> uncolored;
        for (QTextBlock b = selection.begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                if (!f.charFormat().hasProperty(QTextFormat::ForegroundBrush))
                    uncolored.append({f.position(), f.position() + f.length()});
            }
        }
        QTextCharFormat colored;
        colored.setForeground(m_writtenColor);
        QTextCursor c(&selection);
        for (const auto &[from, to] : std::as_const(uncolored)) {
            c.setPosition(from);
            c.setPosition(to, QTextCursor::KeepAnchor);
            c.mergeCharFormat(colored);
        }
    }
    data->setHtml(selection.toHtml());
    data->setData(kRtfMime, document::rtf::saveBytes(selection));
    if (m_secretCopies) {
        data->setData(secretHintFormat(), secretHintValue());
        m_lastSecretCopy = data;
        m_liveSecretCopies.removeAll(nullptr);
        m_liveSecretCopies.append(data);
    }
    return data;
}

bool RichEdit::isSecretCopy(const QMimeData *data) const
{
    return data
        && std::any_of(m_liveSecretCopies.cbegin(), m_liveSecretCopies.cend(),
            [data](const QPointer<QMimeData> &copy) { return copy == data; });
}

bool RichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    if (m_passesFileDrops && source->hasUrls()) {
        for (const QUrl &url : source->urls())
            if (url.isLocalFile())
                return false;
    }
    return QTextEdit::canInsertFromMimeData(source);
}

} // namespace gui
