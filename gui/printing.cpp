#include "gui/printing.h"

#include "gui/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

#include <memory>
#include <stdexcept>

namespace gui {

void printDocument(const RichEdit &editor, QPrinter &printer)
{
    const auto invalid = [] { return std::runtime_error("Printer selected is not valid"); };
    if (!printer.isValid())
        throw invalid();
    printer.setFullPage(false);
    QPainter painter;
    if (!painter.begin(&printer))
        throw invalid();
    // The page is the whole printable area from its top left corner; the
    // text is laid out anew for the printer's resolution, as many lines as
    // fit on a page, page after page.
    std::unique_ptr<QTextDocument> doc(editor.document()->clone());
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSizeF page(area.width(), area.height());
    doc->setPageSize(page);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, editor.palette().color(QPalette::Text));
    const int pages = doc->pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage())
            throw invalid();
        painter.save();
        painter.translate(0, -i * page.height());
        // A line that starts on the next page must not be drawn here at all,
        // not even clipped (a PDF keeps clipped text), so the view ends one
        // device pixel early: no line is thinner than that.
        context.clip = QRectF(0, i * page.height(), page.width(), page.height() - 1);
        painter.setClipRect(context.clip);
        doc->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    painter.end();
}

} // namespace gui
