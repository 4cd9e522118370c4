#pragma once

// 8-bit and double-byte code pages for reading RTF: the \'hh bytes of a
// document are in the code page of the current font's character set, else in
// the document's. Windows 1250 to 1258 and Mac Roman are built in; other pages
// (DOS, Thai, the other Mac pages and the East Asian double-byte pages) come
// from Qt's converters where Qt has them.

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <array>
#include <memory>
#include <optional>

namespace document::codepages {

// Code page of an RTF \fcharsetN, or 0 for ANSI, "default" and unknown sets
// (the document's code page applies).
int forCharset(int charset);

// The pseudo code page of symbol fonts (\fcharset2).
constexpr int kSymbol = 42;

// One code page. Bytes below 0x80 are ASCII in every page this reads.
class CodePage
{
public:
    // Null when the page is unknown or Qt cannot convert it.
    static std::unique_ptr<CodePage> create(int codePage);

    int id() const { return m_id; }
    bool isLeadByte(unsigned char byte) const { return byte >= 0x80 && m_lead[byte - 0x80]; }
    // The character of a single byte that is not a lead byte.
    char16_t single(unsigned char byte) const
    {
        return byte < 0x80 ? char16_t(byte) : m_high[byte - 0x80];
    }
    // The character(s) of a lead and a trail byte of a double-byte page.
    QString pair(unsigned char lead, unsigned char trail);
    // A whole byte string (font names).
    QString decode(QByteArrayView bytes);

private:
    CodePage() = default;

    int m_id = 0;
    std::array<char16_t, 128> m_high {};
    std::array<bool, 128> m_lead {};
    std::optional<QStringDecoder> m_dbcs;
};

} // namespace document::codepages
