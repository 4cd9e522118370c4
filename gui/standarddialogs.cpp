#include "gui/standarddialogs.h"

namespace gui {

bool FileDialog::execute()
{
    FileRequest request;
    request.mode = mode;
    request.title = title;
    request.filter = filter;
    request.defaultSuffix = defaultExt;
    request.initialDir = initialDir;
    request.proposedName = fileName;
    request.filterIndex = filterIndex;
    const std::optional<FileAnswer> answer = modal().fileDialog(request);
    if (!answer)
        return false;
    fileName = answer->fileName;
    filterIndex = answer->filterIndex;
    return true;
}

bool FontDialog::execute()
{
    const std::optional<FontChoice> chosen = modal().fontDialog(font);
    if (!chosen)
        return false;
    font = *chosen;
    return true;
}

bool ColorDialog::execute()
{
    const std::optional<QColor> chosen = modal().colorDialog(color);
    if (!chosen)
        return false;
    color = *chosen;
    return true;
}

} // namespace gui
