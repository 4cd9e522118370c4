#include "document/rtfreader.h"

#include "document/codepages.h"

#include <QColor>
#include <QHash>
#include <QTextCharFormat>
#include <QTextCursor>

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace document::rtf {

namespace {

// Limits that keep hostile input from costing more than its own size.
constexpr int kMaxDepth = 512; // deeper groups are read as skipped
constexpr qsizetype kMaxWordLength = 32; // longer control words are unknown
constexpr qint64 kMaxParameter = 2147483647; // parameters saturate here
constexpr int kMaxFonts = 8192;
constexpr int kMaxColors = 8192;
constexpr qsizetype kMaxFontName = 256;
constexpr int kMaxUnicodeSkip = 16;
// Text is handed to the document in pieces of about this size, so the
// buffer stays small while one run of text goes on for megabytes.
constexpr qsizetype kFlushSize = 64 * 1024;

enum class Kw : quint8 {
    SkipDest,
    FontTable,
    ColorTable,
    Upr,
    Ud,
    Keep,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Font,
    FontSize,
    Color,
    Hidden,
    DefaultFont,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    UnicodeSkip,
    Unicode,
    Binary,
    Charset,
    FontCodePage,
    Red,
    Green,
    Blue,
    Par,
    Char,
};

struct Keyword
{
    std::string_view name;
    Kw kw;
    char16_t ch = 0;
};

// Sorted by name for the binary search below.
constexpr Keyword kKeywords[] = {
    {"annotation", Kw::SkipDest},
    {"ansi", Kw::Ansi},
    {"ansicpg", Kw::AnsiCodePage},
    {"atnauthor", Kw::SkipDest},
    {"atnid", Kw::SkipDest},
    {"atrfend", Kw::SkipDest},
    {"atrfstart", Kw::SkipDest},
    {"author", Kw::SkipDest},
    {"b", Kw::Bold},
    {"bin", Kw::Binary},
    {"bkmkend", Kw::SkipDest},
    {"bkmkstart", Kw::SkipDest},
    {"blue", Kw::Blue},
    {"bullet", Kw::Char, u'\u2022'},
    {"cell", Kw::Par},
    {"cf", Kw::Color},
    {"colorschememapping", Kw::SkipDest},
    {"colortbl", Kw::ColorTable},
    {"comment", Kw::SkipDest},
    {"cpg", Kw::FontCodePage},
    {"datafield", Kw::SkipDest},
    {"datastore", Kw::SkipDest},
    {"deff", Kw::DefaultFont},
    {"docvar", Kw::SkipDest},
    {"emdash", Kw::Char, u'\u2014'},
    {"emspace", Kw::Char, u'\u2003'},
    {"endash", Kw::Char, u'\u2013'},
    {"enspace", Kw::Char, u'\u2002'},
    {"f", Kw::Font},
    {"falt", Kw::SkipDest},
    {"fcharset", Kw::Charset},
    {"field", Kw::Keep},
    {"filetbl", Kw::SkipDest},
    {"fldinst", Kw::SkipDest},
    {"fldrslt", Kw::Keep},
    {"fonttbl", Kw::FontTable},
    {"footer", Kw::SkipDest},
    {"footerf", Kw::SkipDest},
    {"footerl", Kw::SkipDest},
    {"footerr", Kw::SkipDest},
    {"footnote", Kw::SkipDest},
    {"fs", Kw::FontSize},
    {"ftncn", Kw::SkipDest},
    {"ftnsep", Kw::SkipDest},
    {"ftnsepc", Kw::SkipDest},
    {"green", Kw::Green},
    {"header", Kw::SkipDest},
    {"headerf", Kw::SkipDest},
    {"headerl", Kw::SkipDest},
    {"headerr", Kw::SkipDest},
    {"i", Kw::Italic},
    {"info", Kw::SkipDest},
    {"latentstyles", Kw::SkipDest},
    {"ldblquote", Kw::Char, u'\u201C'},
    {"line", Kw::Char, u'\u2028'},
    {"listoverridetable", Kw::SkipDest},
    {"listtable", Kw::SkipDest},
    {"listtext", Kw::Keep},
    {"lquote", Kw::Char, u'\u2018'},
    {"ltrmark", Kw::Char, u'\u200E'},
    {"mac", Kw::Mac},
    {"nestcell", Kw::Par},
    {"nonesttables", Kw::SkipDest},
    {"nonshppict", Kw::SkipDest},
    {"objdata", Kw::SkipDest},
    {"object", Kw::SkipDest},
    {"page", Kw::Par},
    {"panose", Kw::SkipDest},
    {"par", Kw::Par},
    {"pc", Kw::Pc},
    {"pca", Kw::Pca},
    {"pict", Kw::SkipDest},
    {"plain", Kw::Plain},
    {"pn", Kw::SkipDest},
    {"pntext", Kw::Keep},
    {"qmspace", Kw::Char, u'\u2005'},
    {"rdblquote", Kw::Char, u'\u201D'},
    {"red", Kw::Red},
    {"revtbl", Kw::SkipDest},
    {"rquote", Kw::Char, u'\u2019'},
    {"rsidtbl", Kw::SkipDest},
    {"rtf", Kw::Keep},
    {"rtlmark", Kw::Char, u'\u200F'},
    {"rxe", Kw::SkipDest},
    {"sect", Kw::Par},
    {"strike", Kw::Strike},
    {"striked", Kw::Strike},
    {"stylesheet", Kw::SkipDest},
    {"tab", Kw::Char, u'\t'},
    {"tc", Kw::SkipDest},
    {"tcn", Kw::SkipDest},
    {"template", Kw::SkipDest},
    {"themedata", Kw::SkipDest},
    {"txe", Kw::SkipDest},
    {"u", Kw::Unicode},
    {"uc", Kw::UnicodeSkip},
    {"ud", Kw::Ud},
    {"ul", Kw::Underline},
    {"uld", Kw::Underline},
    {"uldash", Kw::Underline},
    {"uldashd", Kw::Underline},
    {"uldashdd", Kw::Underline},
    {"uldb", Kw::Underline},
    {"ulhwave", Kw::Underline},
    {"ulldash", Kw::Underline},
    {"ulnone", Kw::UnderlineNone},
    {"ulth", Kw::Underline},
    {"ulthd", Kw::Underline},
    {"ulthdash", Kw::Underline},
    {"ulthdashd", Kw::Underline},
    {"ulthdashdd", Kw::Underline},
    {"ulthldash", Kw::Underline},
    {"ululdbwave", Kw::Underline},
    {"ulw", Kw::Underline},
    {"ulwave", Kw::Underline},
    {"upr", Kw::Upr},
    {"v", Kw::Hidden},
    {"xe", Kw::SkipDest},
    {"xmlnstbl", Kw::SkipDest},
    {"zwj", Kw::Char, u'\u200D'},
    {"zwnj", Kw::Char, u'\u200C'},
};

static_assert(std::ranges::is_sorted(kKeywords, {}, &Keyword::name));

const Keyword *findKeyword(std::string_view name)
{
    const auto it = std::ranges::lower_bound(kKeywords, name, {}, &Keyword::name);
    return it != std::end(kKeywords) && it->name == name ? it : nullptr;
}

enum class Dest : quint8 { Text, Skip, FontTable, ColorTable };

// Character formatting as the RTF states it.
struct Props
{
    int font = -1; // -1: the document's default font (\deff)
    int halfPoints = 24;
    int color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    bool operator==(const Props &) const = default;
};

struct State
{
    Props props;
    Dest dest = Dest::Text;
    Dest uprDest = Dest::Skip; // what \ud restores inside \upr
    bool inUpr = false;
    int uc = 1;
};

// The formatting a run of text gets, resolved through the tables.
struct RunKey
{
    QString family;
    int halfPoints = 24;
    QRgb color = 0;
    bool hasColor = false;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const RunKey &) const = default;
};

struct FontEntry
{
    QString family;
    int codePage = 0; // 0: the document's
};

bool isLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int clampInt(qint64 v, int lo, int hi)
{
    return int(std::clamp<qint64>(v, lo, hi));
}

class Reader
{
public:
    Reader(QByteArrayView bytes, QTextCursor &cursor)
        : m_data(reinterpret_cast<const unsigned char *>(bytes.data()))
        , m_size(bytes.size())
        , m_cursor(cursor)
    {
        m_stack.reserve(64);
    }

    bool run();

private:
    State &top() { return m_stack.back(); }
    Dest dest() const
    {
        return m_overflow > 0 || m_stack.empty() ? Dest::Skip : m_stack.back().dest;
    }

    void openGroup();
    bool closeGroup();
    void control();
    void word(std::string_view name, bool hasParam, qint64 param);
    void symbol(unsigned char c);
    void textByte(unsigned char b);
    void plainText();

    void appendChar(char16_t c);
    void appendRaw(char16_t c);
    void prepareAppend();
    void paragraph();
    void flushPending();
    void flush();
    void finish();

    void propsChanged() { m_formatDirty = m_pageDirty = true; }
    codepages::CodePage &codePage();
    codepages::CodePage *findPage(int id);
    codepages::CodePage &page(int id);
    int fontCodePage();
    RunKey runKey() const;

    void beginFont(int key);
    void commitFont();
    void flushFontBytes();
    void commitColor();

    const unsigned char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    QTextCursor &m_cursor;

    std::vector<State> m_stack;
    int m_overflow = 0; // groups opened beyond kMaxDepth
    bool m_done = false;
    bool m_ignorable = false; // after \*
    int m_skip = 0; // fallback characters still to skip after \u

    // Tables.
    int m_docCodePage = 1252;
    int m_defaultFont = 0; // \deff, font 0 when the file names none
    QHash<int, FontEntry> m_fonts;
    std::vector<QColor> m_colors;
    std::unordered_map<int, std::unique_ptr<codepages::CodePage>> m_pages;

    // The font table entry being read.
    bool m_inFont = false;
    int m_fontKey = 0;
    int m_fontCharset = -1;
    int m_fontCpg = 0;
    QByteArray m_fontBytes;
    QString m_fontName;
    // The colour table entry being read.
    int m_red = -1;
    int m_green = -1;
    int m_blue = -1;

    // Text not yet in the document.
    QString m_run;
    RunKey m_runKey;
    bool m_haveRunKey = false;
    QTextCharFormat m_runFormat;
    bool m_formatDirty = true;
    bool m_pageDirty = true;
    codepages::CodePage *m_page = nullptr;
    int m_lead = -1; // a double-byte lead byte waiting for its trail byte
    char16_t m_high = 0; // a high surrogate waiting for its low half
    int m_pendingPars = 0; // paragraph ends not yet written
};

bool Reader::run()
{
    while (m_pos < m_size && !m_done) {
        const unsigned char c = m_data[m_pos];
        switch (c) {
        case '{':
            ++m_pos;
            openGroup();
            break;
        case '}':
            ++m_pos;
            closeGroup();
            break;
        case '\\':
            ++m_pos;
            control();
            break;
        case '\r':
        case '\n':
            ++m_pos;
            break;
        default:
            plainText();
            break;
        }
    }
    finish();
    return m_done;
}

void Reader::openGroup()
{
    m_ignorable = false;
    m_skip = 0;
    if (m_lead >= 0) {
        m_lead = -1;
        appendChar(u'\uFFFD');
    }
    if (m_overflow > 0 || int(m_stack.size()) >= kMaxDepth) {
        ++m_overflow;
        return;
    }
    if (m_stack.empty())
        m_stack.emplace_back();
    else
        m_stack.push_back(m_stack.back());
}

bool Reader::closeGroup()
{
    m_ignorable = false;
    m_skip = 0;
    if (m_lead >= 0) {
        m_lead = -1;
        appendChar(u'\uFFFD');
    }
    if (m_overflow > 0) {
        --m_overflow;
        return true;
    }
    if (m_stack.empty())
        return false;
    if (m_stack.size() == 1)
        flushPending();
    const State closed = m_stack.back();
    m_stack.pop_back();
    if (closed.dest == Dest::FontTable && m_inFont)
        commitFont();
    // A last colour without its ';'.
    if (closed.dest == Dest::ColorTable && (m_red >= 0 || m_green >= 0 || m_blue >= 0))
        commitColor();
    if (m_stack.empty()) {
        m_done = true;
        return false;
    }
    if (!(closed.props == m_stack.back().props))
        propsChanged();
    return true;
}

void Reader::control()
{
    if (m_pos >= m_size)
        return;
    const unsigned char c = m_data[m_pos];
    if (!isLetter(c)) {
        ++m_pos;
        symbol(c);
        return;
    }
    const qsizetype start = m_pos;
    while (m_pos < m_size && isLetter(m_data[m_pos]))
        ++m_pos;
    const qsizetype length = m_pos - start;
    bool negative = false;
    if (m_pos + 1 < m_size && m_data[m_pos] == '-' && isDigit(m_data[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    bool hasParam = false;
    qint64 param = 0;
    while (m_pos < m_size && isDigit(m_data[m_pos])) {
        hasParam = true;
        param = std::min(param * 10 + (m_data[m_pos] - '0'), kMaxParameter);
        ++m_pos;
    }
    if (m_pos < m_size && m_data[m_pos] == ' ')
        ++m_pos;
    const std::string_view name = length <= kMaxWordLength
        ? std::string_view(reinterpret_cast<const char *>(m_data + start), size_t(length))
        : std::string_view();
    word(name, hasParam, negative ? -param : param);
}

void Reader::word(std::string_view name, bool hasParam, qint64 param)
{
    const Keyword *k = name.empty() ? nullptr : findKeyword(name);
    if (k && k->kw == Kw::Binary) {
        // The data is skipped wherever it stands; it counts as one character.
        const qint64 n = hasParam ? std::max<qint64>(param, 0) : 0;
        m_pos += std::min<qint64>(n, m_size - m_pos);
        if (m_skip > 0)
            --m_skip;
        m_ignorable = false;
        return;
    }
    if (m_lead >= 0) {
        m_lead = -1;
        appendChar(u'\uFFFD');
    }
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    const Dest d = dest();
    if (d == Dest::Skip) {
        // Only the Unicode half of \upr comes back out of a skipped group.
        if (k && k->kw == Kw::Ud && m_overflow == 0 && top().inUpr) {
            top().dest = top().uprDest;
            top().inUpr = false;
        }
        m_ignorable = false;
        return;
    }
    if (m_ignorable) {
        m_ignorable = false;
        const bool known = k
            && (k->kw == Kw::FontTable || k->kw == Kw::ColorTable || k->kw == Kw::Upr
                || k->kw == Kw::Ud || k->kw == Kw::Keep);
        if (!known) {
            top().dest = Dest::Skip;
            return;
        }
    }
    if (!k)
        return;

    State &s = top();
    const bool on = !hasParam || param != 0;
    switch (k->kw) {
    case Kw::SkipDest:
        s.dest = Dest::Skip;
        return;
    case Kw::FontTable:
        s.dest = Dest::FontTable;
        m_inFont = false;
        return;
    case Kw::ColorTable:
        s.dest = Dest::ColorTable;
        m_colors.clear();
        m_red = m_green = m_blue = -1;
        propsChanged();
        return;
    case Kw::Upr:
        s.uprDest = s.dest;
        s.inUpr = true;
        s.dest = Dest::Skip;
        return;
    case Kw::Ud:
        if (s.inUpr) {
            s.dest = s.uprDest;
            s.inUpr = false;
        }
        return;
    case Kw::Keep:
        return;
    case Kw::Ansi:
        m_docCodePage = 1252;
        m_pageDirty = true;
        return;
    case Kw::Mac:
        m_docCodePage = 10000;
        m_pageDirty = true;
        return;
    case Kw::Pc:
        m_docCodePage = 437;
        m_pageDirty = true;
        return;
    case Kw::Pca:
        m_docCodePage = 850;
        m_pageDirty = true;
        return;
    case Kw::AnsiCodePage:
        m_docCodePage = hasParam ? clampInt(param, 0, 65535) : 1252;
        m_pageDirty = true;
        return;
    case Kw::DefaultFont:
        m_defaultFont = clampInt(param, 0, INT_MAX);
        propsChanged();
        return;
    case Kw::UnicodeSkip:
        s.uc = hasParam ? clampInt(param, 0, kMaxUnicodeSkip) : 1;
        return;
    case Kw::Unicode: {
        qint64 v = param;
        if (v < 0)
            v += 65536;
        const char16_t c = v >= 0 && v <= 0xFFFF ? char16_t(v) : u'\uFFFD';
        if (d == Dest::FontTable && m_inFont) {
            flushFontBytes();
            if (m_fontName.size() < kMaxFontName)
                m_fontName += QChar(c);
        } else if (d == Dest::Text) {
            appendChar(c);
        }
        m_skip = s.uc;
        return;
    }
    default:
        break;
    }

    if (d == Dest::FontTable) {
        switch (k->kw) {
        case Kw::Font:
            beginFont(clampInt(param, INT_MIN + 1, INT_MAX));
            break;
        case Kw::Charset:
            m_fontCharset = clampInt(param, 0, 255);
            break;
        case Kw::FontCodePage:
            m_fontCpg = clampInt(param, 0, 65535);
            break;
        default:
            break;
        }
        return;
    }
    if (d == Dest::ColorTable) {
        const int v = clampInt(param, 0, 255);
        switch (k->kw) {
        case Kw::Red:
            m_red = v;
            break;
        case Kw::Green:
            m_green = v;
            break;
        case Kw::Blue:
            m_blue = v;
            break;
        default:
            break;
        }
        return;
    }

    Props &p = s.props;
    const Props before = p;
    switch (k->kw) {
    case Kw::Plain:
        p = Props();
        break;
    case Kw::Bold:
        p.bold = on;
        break;
    case Kw::Italic:
        p.italic = on;
        break;
    case Kw::Underline:
        p.underline = on;
        break;
    case Kw::UnderlineNone:
        p.underline = false;
        break;
    case Kw::Strike:
        p.strike = on;
        break;
    case Kw::Hidden:
        p.hidden = on;
        break;
    case Kw::Font:
        p.font = clampInt(param, 0, INT_MAX);
        break;
    case Kw::FontSize:
        p.halfPoints = hasParam ? clampInt(param, kMinHalfPoints, kMaxHalfPoints) : 24;
        break;
    case Kw::Color:
        p.color = clampInt(param, 0, INT_MAX);
        break;
    case Kw::Par:
        paragraph();
        break;
    case Kw::Char:
        appendChar(k->ch);
        break;
    default:
        break;
    }
    if (!(p == before))
        propsChanged();
}

void Reader::symbol(unsigned char c)
{
    if (c == '\'') {
        int value = -1;
        if (m_pos < m_size && hexValue(m_data[m_pos]) >= 0) {
            value = hexValue(m_data[m_pos++]);
            if (m_pos < m_size && hexValue(m_data[m_pos]) >= 0)
                value = value * 16 + hexValue(m_data[m_pos++]);
        }
        m_ignorable = false;
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        if (value >= 0)
            textByte(static_cast<unsigned char>(value));
        return;
    }
    if (c == '*') {
        if (m_skip > 0)
            --m_skip;
        else
            m_ignorable = true;
        return;
    }
    m_ignorable = false;
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
        textByte(c);
        break;
    case '\r':
    case '\n':
        if (m_lead >= 0) {
            m_lead = -1;
            appendChar(u'\uFFFD');
        }
        if (dest() == Dest::Text)
            paragraph();
        break;
    case '~':
        if (dest() == Dest::Text)
            appendChar(u'\u00A0');
        break;
    case '-':
        if (dest() == Dest::Text)
            appendChar(u'\u00AD');
        break;
    case '_':
        if (dest() == Dest::Text)
            appendChar(u'\u2011');
        break;
    default:
        break;
    }
}

// Literal bytes between control words and braces.
void Reader::plainText()
{
    m_ignorable = false;
    const Dest d = dest();
    if (d == Dest::Text && m_skip == 0 && m_lead < 0 && m_high == 0 && !top().props.hidden) {
        // Fast path: a stretch of printable ASCII is the same in every code page.
        const qsizetype start = m_pos;
        while (m_pos < m_size) {
            const unsigned char c = m_data[m_pos];
            if (c < 0x20 || c > 0x7E || c == '\\' || c == '{' || c == '}')
                break;
            ++m_pos;
        }
        if (m_pos > start) {
            prepareAppend();
            m_run.append(
                QLatin1StringView(reinterpret_cast<const char *>(m_data + start), m_pos - start));
            return;
        }
    }
    const unsigned char c = m_data[m_pos++];
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    if (c == '\t') {
        if (d == Dest::Text)
            appendChar(u'\t');
        return;
    }
    if (c < 0x20)
        return;
    textByte(c);
}

// A byte of text, literal or from \'hh, in the current code page.
void Reader::textByte(unsigned char b)
{
    switch (dest()) {
    case Dest::FontTable:
        if (!m_inFont)
            return;
        if (b == ';')
            commitFont();
        else if (m_fontBytes.size() < kMaxFontName)
            m_fontBytes.append(char(b));
        return;
    case Dest::ColorTable:
        if (b == ';')
            commitColor();
        return;
    case Dest::Skip:
        return;
    case Dest::Text:
        break;
    }
    codepages::CodePage &cp = codePage();
    if (m_lead >= 0) {
        const auto lead = static_cast<unsigned char>(m_lead);
        m_lead = -1;
        for (const QChar ch : cp.pair(lead, b))
            appendChar(ch.unicode());
        return;
    }
    if (cp.isLeadByte(b)) {
        m_lead = b;
        return;
    }
    appendChar(cp.single(b));
}

void Reader::appendChar(char16_t c)
{
    if (dest() != Dest::Text || top().props.hidden)
        return;
    if (m_high != 0) {
        const char16_t high = m_high;
        m_high = 0;
        if (QChar::isLowSurrogate(c)) {
            prepareAppend();
            m_run.append(QChar(high));
            m_run.append(QChar(c));
            return;
        }
        appendRaw(u'\uFFFD');
    }
    if (QChar::isHighSurrogate(c)) {
        m_high = c;
        return;
    }
    if (QChar::isLowSurrogate(c))
        c = u'\uFFFD';
    switch (c) {
    case u'\uFFFC': // pictures and objects are not kept
        return;
    case u'\r':
    case u'\n':
    case u'\u2029':
        paragraph();
        return;
    case u'\uFDD0': // the document's frame marks
    case u'\uFDD1':
        c = u'\uFFFD';
        break;
    default:
        break;
    }
    appendRaw(c);
}

void Reader::appendRaw(char16_t c)
{
    prepareAppend();
    m_run.append(QChar(c));
}

// Brings the run's format up to date and writes the paragraph ends that
// text now follows.
void Reader::prepareAppend()
{
    if (m_formatDirty) {
        m_formatDirty = false;
        RunKey key = runKey();
        if (!m_haveRunKey || !(key == m_runKey)) {
            m_haveRunKey = true;
            flush();
            m_runFormat = QTextCharFormat();
            if (!key.family.isEmpty())
                m_runFormat.setFontFamilies(QStringList {key.family});
            m_runFormat.setFontPointSize(key.halfPoints / 2.0);
            m_runFormat.setFontWeight(key.bold ? QFont::Bold : QFont::Normal);
            m_runFormat.setFontItalic(key.italic);
            m_runFormat.setFontUnderline(key.underline);
            m_runFormat.setFontStrikeOut(key.strike);
            if (key.hasColor)
                m_runFormat.setForeground(QColor::fromRgb(key.color));
            m_runKey = std::move(key);
        }
    }
    if (m_run.size() >= kFlushSize)
        flush();
    for (; m_pendingPars > 0; --m_pendingPars)
        m_run.append(QChar::ParagraphSeparator);
}

// Ends the paragraph. The break is written when text follows, so the last
// \par of a file ends the last paragraph instead of starting an empty one.
void Reader::paragraph()
{
    if (dest() != Dest::Text)
        return;
    flushPending();
    ++m_pendingPars;
}

// A lone lead byte or high surrogate becomes U+FFFD.
void Reader::flushPending()
{
    if (m_lead >= 0) {
        m_lead = -1;
        appendChar(u'\uFFFD');
    }
    if (m_high != 0) {
        m_high = 0;
        appendRaw(u'\uFFFD');
    }
}

void Reader::flush()
{
    if (m_run.isEmpty())
        return;
    m_cursor.insertText(m_run, m_runFormat);
    m_run.resize(0);
}

void Reader::finish()
{
    if (!m_stack.empty())
        flushPending();
    // The last paragraph end closes the last paragraph; any before it stand
    // for empty paragraphs.
    if (m_pendingPars > 1) {
        --m_pendingPars;
        prepareAppend();
    }
    flush();
}

codepages::CodePage *Reader::findPage(int id)
{
    auto it = m_pages.find(id);
    if (it == m_pages.end())
        it = m_pages.emplace(id, codepages::CodePage::create(id)).first;
    return it->second.get();
}

// Unknown code pages read as Windows-1252.
codepages::CodePage &Reader::page(int id)
{
    if (codepages::CodePage *p = findPage(id))
        return *p;
    return *findPage(1252);
}

codepages::CodePage &Reader::codePage()
{
    if (m_pageDirty || !m_page) {
        m_pageDirty = false;
        const int font = top().props.font >= 0 ? top().props.font : m_defaultFont;
        const auto it = m_fonts.constFind(font);
        int id = it != m_fonts.constEnd() ? it->codePage : 0;
        if (id == 0)
            id = m_docCodePage;
        m_page = &page(id);
    }
    return *m_page;
}

RunKey Reader::runKey() const
{
    const Props &p = m_stack.empty() ? Props() : m_stack.back().props;
    RunKey key;
    const int font = p.font >= 0 ? p.font : m_defaultFont;
    const auto it = m_fonts.constFind(font);
    if (it != m_fonts.constEnd())
        key.family = it->family;
    key.halfPoints = p.halfPoints;
    if (p.color > 0 && size_t(p.color) < m_colors.size() && m_colors[size_t(p.color)].isValid()) {
        key.hasColor = true;
        key.color = m_colors[size_t(p.color)].rgb();
    }
    key.bold = p.bold;
    key.italic = p.italic;
    key.underline = p.underline;
    key.strike = p.strike;
    return key;
}

void Reader::beginFont(int key)
{
    if (m_inFont)
        commitFont();
    m_inFont = true;
    m_fontKey = key;
    m_fontCharset = -1;
    m_fontCpg = 0;
    m_fontBytes.clear();
    m_fontName.clear();
}

// A font's \cpg wins over its \fcharset; 0 leaves the document's page.
int Reader::fontCodePage()
{
    if (m_fontCpg != 0 && findPage(m_fontCpg))
        return m_fontCpg;
    return m_fontCharset >= 0 ? codepages::forCharset(m_fontCharset) : 0;
}

// Font names are in the font's own code page.
void Reader::flushFontBytes()
{
    if (m_fontBytes.isEmpty())
        return;
    int id = fontCodePage();
    if (id == 0)
        id = m_docCodePage;
    m_fontName += page(id).decode(m_fontBytes);
    m_fontBytes.clear();
}

void Reader::commitFont()
{
    flushFontBytes();
    m_inFont = false;
    if (m_fonts.size() >= kMaxFonts && !m_fonts.contains(m_fontKey))
        return;
    FontEntry &e = m_fonts[m_fontKey];
    m_fontName.removeIf([](QChar c) { return !keptInFontName(c.unicode()); });
    e.family = m_fontName.left(kMaxFontName).trimmed();
    e.codePage = fontCodePage();
    m_fontName.clear();
    propsChanged();
}

void Reader::commitColor()
{
    if (m_colors.size() < size_t(kMaxColors)) {
        if (m_red < 0 && m_green < 0 && m_blue < 0)
            m_colors.emplace_back(); // "auto"
        else
            m_colors.emplace_back(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0));
    }
    m_red = m_green = m_blue = -1;
    propsChanged();
}

} // namespace

bool readRtf(QByteArrayView bytes, QTextCursor &cursor)
{
    Reader reader(bytes, cursor);
    return reader.run();
}

} // namespace document::rtf
