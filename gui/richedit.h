#pragma once

// The rich-text editor control the windows hold their documents in. Besides
// being a QTextEdit it reads and writes its whole text as the program's 8-bit
// string (Windows-1252, CR LF between lines), keeps the byte count of that
// string and whether it holds a marker text its owner names (the main window:
// the encrypted block's begin marker) up to date with work proportional to
// each change, and tells changes made by the user (caret and selection moves)
// apart from whole-text replacements by commands.

#include <QByteArray>
#include <QColor>
#include <QMimeData>
#include <QPointer>
#include <QStringList>
#include <QTextEdit>

#include <memory>

namespace gui {

class RichEdit : public QTextEdit
{
    Q_OBJECT
public:
    explicit RichEdit(QWidget *parent = nullptr);
    ~RichEdit() override;

    // The whole text as the 8-bit string (see cp1252::encode).
    QByteArray text() const;
    // The document's own characters, each line ended by CR LF but the last,
    // before any conversion to 8 bits.
    QString characters() const;
    // Empties the editor, then sets its text to the 8-bit string; CR LF, a
    // lone CR and a lone LF each end a line.
    void setText(const QByteArray &bytes);
    // setText() for Unicode characters, with no 8-bit conversion: what the
    // strong level gives back is the document's own characters.
    void setCharacters(const QString &characters);

    // Length of text() in bytes, without building it.
    qint64 byteCount() const;
    // The texts whose presence containsMarker() tells; none (the default)
    // counts nothing. They are looked for within lines, case-sensitively.
    void setMarker(const QString &marker) { setMarkers({marker}); }
    void setMarkers(const QStringList &markers);
    QString marker() const { return m_markers.value(0); }
    // Whether text() holds one of the markers, without building it.
    bool containsMarker() const;

    // Copies of the selection (copy, cut, drag, the X11 selection) carry the
    // format desktop clipboard histories take as "do not keep": for text
    // that was secret.
    void setSecretCopies(bool on) { m_secretCopies = on; }
    bool secretCopies() const { return m_secretCopies; }
    // The format and its value.
    static QString secretHintFormat();
    static QByteArray secretHintValue();
    // The last copy made while secretCopies() was on, while it lives (the
    // clipboard owns it); for telling it apart from what others put there.
    const QMimeData *lastSecretCopy() const { return m_lastSecretCopy; }
    // Whether the data is a secret copy made here that still lives (in the
    // clipboard or the X11 selection, which own it).
    bool isSecretCopy(const QMimeData *data) const;

    // Files dragged onto the editor are left to the window under it (which
    // opens them) instead of being inserted as their names.
    void setPassesFileDrops(bool on) { m_passesFileDrops = on; }

    // The document's file format (see rtfcodec.h); errors are thrown.
    void loadFromFile(const QString &fileName);
    // privately: readable by the user only (see rtf::saveFile); true when an
    // existing file others could read was made so.
    bool saveToFile(const QString &fileName, bool privately = false) const;

    // The default character format: text without a format of its own shows
    // in this font and colour, and goes in them into files and the
    // clipboard. A colour other than the platform's text colour is written
    // as such; the platform's (or an invalid colour) stays the colour files
    // call "auto", so that files do not change for users who never chose one.
    void setDefaultFormat(const QFont &font, const QColor &color);
    // The colour text without a colour of its own shows in.
    QColor defaultColor() const;

    bool wordWrap() const;
    void setWordWrap(bool on);

signals:
    // After every change of the text, by the user or a command.
    void changed();
    // After the caret or the selection moved by the user's doing (typing,
    // clicking, keys, select all); not after a command replaced the text.
    void selectionMoved();

protected:
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;

private:
    class Replacing;
    void onContentsChange(int position, int removed, int added);
    void recountAll();

    std::shared_ptr<struct RichEditTotals> m_totals;
    QStringList m_markers;
    bool m_secretCopies = false;
    bool m_passesFileDrops = false;
    mutable QPointer<QMimeData> m_lastSecretCopy;
    mutable QList<QPointer<QMimeData>> m_liveSecretCopies;
    // The default colour as the files take it; invalid for "auto".
    QColor m_writtenColor;
    int m_replacing = 0;
};

} // namespace gui
