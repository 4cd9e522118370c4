#pragma once

// Printing a document the way the editor shows it.

class QPrinter;

namespace gui {

class RichEdit;

// Lays the editor's document out on the printer's printable area, page by
// page, in the editor's text colour. Throws std::runtime_error("Printer
// selected is not valid") when the printer cannot be used.
void printDocument(const RichEdit &editor, QPrinter &printer);

} // namespace gui
