#include "document/rtfwriter.h"

#include "document/cp1252.h"
#include "document/rtfcodec.h"
#include "document/rtfreader.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace document::rtf {

namespace {

// Source lines stay within this many characters: RTF ignores line ends in
// its source, and short lines survive mail.
constexpr int kLineWidth = 80;
// The longest token that text can bring, \u-12345\'3f.
constexpr int kLongestToken = 12;

// A run's formatting as the file states it.
struct Written
{
    int font = -1;
    int halfPoints = -1;
    int color = -1;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
};

// Output broken into lines between tokens, never inside one.
class Out
{
public:
    explicit Out(qsizetype reserve) { m_bytes.reserve(reserve); }

    // `keep` more columns stay free after the token, so the next token
    // goes on the same line.
    void token(const char *text, int length, int keep = 0)
    {
        if (m_column + length + keep > kLineWidth && m_column > 0)
            newline();
        m_bytes.append(text, length);
        m_column += length;
    }
    void token(const QByteArray &text) { token(text.constData(), int(text.size())); }
    // Columns left on the line; at the end of a line, a new line's.
    qsizetype room()
    {
        if (m_column >= kLineWidth)
            newline();
        return kLineWidth - m_column;
    }
    // Space for n characters of the line, n <= room().
    char *reserve(qsizetype n)
    {
        const qsizetype at = m_bytes.size();
        m_bytes.resize(at + n);
        m_column += int(n);
        return m_bytes.data() + at;
    }
    void newline()
    {
        m_bytes.append("\r\n", 2);
        m_column = 0;
    }
    QByteArray take() { return std::move(m_bytes); }

private:
    QByteArray m_bytes;
    int m_column = 0;
};

void hexToken(Out &out, int byte)
{
    static const char digits[] = "0123456789abcdef";
    const char token[4] = {'\\', '\'', digits[(byte >> 4) & 15], digits[byte & 15]};
    out.token(token, 4);
}

void unicodeToken(Out &out, char16_t unit)
{
    // \uN takes a signed 16-bit number. The fallback that \uc1 skips is
    // written as \'3f rather than '?': some readers skip a whole word of
    // literal text after \uN, but stop at an escape.
    const int n = unit > 0x7FFF ? int(unit) - 0x10000 : int(unit);
    out.token("\\u" + QByteArray::number(n) + "\\'3f");
}

// One character of text. Bytes below 32 and DEL survive as \'hh, so an
// encrypted block with its control characters reads back byte for byte.
void textChar(Out &out, char16_t c)
{
    if (c >= 0x20 && c < 0x7F) {
        if (c == '\\' || c == '{' || c == '}') {
            // Some readers take an escaped backslash at the end of a source
            // line for \par: whatever follows it stays on its line.
            const char token[2] = {'\\', char(c)};
            out.token(token, 2, c == '\\' ? kLongestToken : 0);
        } else {
            const char ch = char(c);
            out.token(&ch, 1);
        }
        return;
    }
    switch (c) {
    case u'\t':
        out.token("\\tab ", 5);
        return;
    case u'\u2028':
        out.token("\\line ", 6);
        return;
    case u'\uFFFC': // pictures and objects are not written
    case u'\uFDD0': // frame marks
    case u'\uFDD1':
        return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        hexToken(out, c);
        return;
    }
    const int b = cp1252::byteFor(c);
    if (b >= 0x80)
        hexToken(out, b);
    else
        unicodeToken(out, c);
}

void text(Out &out, QStringView s)
{
    const char16_t *p = s.utf16();
    const char16_t *const end = p + s.size();
    while (p < end) {
        // Plain ASCII goes out in stretches up to the end of the line.
        const char16_t *q = p;
        while (q < end && *q >= 0x20 && *q < 0x7F && *q != '\\' && *q != '{' && *q != '}')
            ++q;
        if (q == p) {
            textChar(out, *p++);
            continue;
        }
        while (p < q) {
            const qsizetype n = std::min<qsizetype>(q - p, out.room());
            char *dst = out.reserve(n);
            for (qsizetype i = 0; i < n; ++i)
                dst[i] = char(p[i]);
            p += n;
        }
    }
}

int halfPoints(qreal pointSize)
{
    return std::clamp(int(std::lround(pointSize * 2)), kMinHalfPoints, kMaxHalfPoints);
}

QByteArray colorEntry(const QColor &c)
{
    return "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green())
        + "\\blue" + QByteArray::number(c.blue()) + ';';
}

// The control words that take the file's state from `cur` to `want`; the
// last one carries the space that ends it before text.
void changeFormat(Out &out, Written &cur, const Written &want)
{
    char buffer[128];
    int ends[8];
    int count = 0;
    int n = 0;
    auto word = [&](const char *w) {
        for (; *w; ++w)
            buffer[n++] = *w;
    };
    auto number = [&](const char *w, int value) {
        word(w);
        n = int(std::to_chars(buffer + n, buffer + sizeof buffer, value).ptr - buffer);
        ends[count++] = n;
    };
    auto toggle = [&](bool on, const char *onWord, const char *offWord) {
        word(on ? onWord : offWord);
        ends[count++] = n;
    };
    if (want.font != cur.font)
        number("\\f", want.font);
    if (want.halfPoints != cur.halfPoints)
        number("\\fs", want.halfPoints);
    if (want.color != cur.color)
        number("\\cf", want.color);
    if (want.bold != cur.bold)
        toggle(want.bold, "\\b", "\\b0");
    if (want.italic != cur.italic)
        toggle(want.italic, "\\i", "\\i0");
    if (want.underline != cur.underline)
        toggle(want.underline, "\\ul", "\\ulnone");
    if (want.strike != cur.strike)
        toggle(want.strike, "\\strike", "\\strike0");
    if (count == 0)
        return;
    buffer[n++] = ' ';
    ++ends[count - 1];
    int start = 0;
    for (int i = 0; i < count; ++i) {
        out.token(buffer + start, ends[i] - start);
        start = ends[i];
    }
    cur = want;
}

} // namespace

QByteArray writeRtf(const QTextDocument &doc, const QColor &defaultColor)
{
    const QFont defaultFont = doc.defaultFont();

    // First pass: the formats the runs use, with the fonts and colours they
    // need. Font 0 is the default font; colour 0 is "auto".
    QStringList fonts {defaultFont.family()};
    std::vector<QColor> colors;
    // Per format index of the document, the entry in `written`.
    std::vector<int> slotOf;
    std::vector<Written> written;
    qsizetype textSize = 0;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        textSize += block.length();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const auto index = size_t(fragment.charFormatIndex());
            if (index >= slotOf.size())
                slotOf.resize(index + 1, -1);
            if (slotOf[index] >= 0)
                continue;
            const RunFormat f = resolvedFormat(fragment.charFormat(), defaultFont, defaultColor);
            Written w;
            w.font = int(fonts.indexOf(f.family));
            if (w.font < 0) {
                w.font = int(fonts.size());
                fonts.append(f.family);
            }
            w.halfPoints = halfPoints(f.pointSize);
            w.color = 0;
            if (f.color.isValid()) {
                const QRgb rgb = f.color.rgb();
                const auto c = std::find_if(colors.begin(), colors.end(),
                    [rgb](const QColor &x) { return x.rgb() == rgb; });
                w.color = int(c - colors.begin()) + 1;
                if (c == colors.end())
                    colors.push_back(QColor::fromRgb(rgb));
            }
            w.bold = f.bold;
            w.italic = f.italic;
            w.underline = f.underline;
            w.strike = f.strikeOut;
            slotOf[index] = int(written.size());
            written.push_back(w);
        }
    }

    Out out(textSize + textSize / 8 + 1024);
    out.token("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1");
    out.newline();
    out.token("{\\fonttbl");
    for (qsizetype i = 0; i < fonts.size(); ++i) {
        out.token("{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ");
        // A ';' would end the name early.
        for (const QChar c : fonts.at(i)) {
            if (c != u';' && keptInFontName(c.unicode()))
                textChar(out, c.unicode());
        }
        out.token(";}", 2);
    }
    out.token("}", 1);
    out.newline();
    out.token("{\\colortbl ;");
    for (const QColor &c : colors)
        out.token(colorEntry(c));
    out.token("}", 1);
    out.newline();
    out.token("{\\*\\generator Velmorandquist;}\\pard\\plain");
    out.newline();

    // Second pass: the text. Every paragraph ends with \par, the last one
    // too, which is how word processors mark the end of the last paragraph.
    Written cur;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QString blockText = block.text();
        qsizetype at = 0;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            changeFormat(out, cur, written.at(slotOf.at(size_t(fragment.charFormatIndex()))));
            text(out, QStringView(blockText).sliced(at, fragment.length()));
            at += fragment.length();
        }
        out.token("\\par", 4);
        out.newline();
    }
    out.token("}", 1);
    out.newline();
    return out.take();
}

RunFormat resolvedFormat(
    const QTextCharFormat &format, const QFont &defaultFont, const QColor &defaultColor)
{
    const QFont font = format.font().resolve(defaultFont);
    RunFormat r;
    r.family = font.family();
    r.pointSize = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize()
                                                                 : defaultFont.pointSizeF();
    if (r.pointSize <= 0)
        r.pointSize = 12;
    r.bold = font.bold();
    r.italic = font.italic();
    r.underline = font.underline();
    r.strikeOut = font.strikeOut();
    if (format.hasProperty(QTextFormat::ForegroundBrush)
        && format.foreground().style() != Qt::NoBrush)
        r.color = QColor::fromRgb(format.foreground().color().rgb());
    else if (defaultColor.isValid())
        r.color = QColor::fromRgb(defaultColor.rgb());
    return r;
}

} // namespace document::rtf
