#pragma once

// The standard dialogs as the windows hold them: each keeps its settings and
// what was last chosen in it, and proposes that the next time.

#include "gui/modal.h"

namespace gui {

class FileDialog
{
public:
    FileRequest::Mode mode = FileRequest::Mode::Open;
    QString title;
    QString filter;
    QString defaultExt;
    QString initialDir;
    // The name last chosen (proposed next time) and the filter, from 1.
    QString fileName;
    int filterIndex = 1;

    // Runs the dialog; on OK remembers and returns true.
    bool execute();
};

class FontDialog
{
public:
    FontChoice font;
    bool execute();
};

class ColorDialog
{
public:
    QColor color = Qt::black;
    bool execute();
};

} // namespace gui
