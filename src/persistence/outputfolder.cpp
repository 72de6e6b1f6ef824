#include "outputfolder.h"

OutputFolder &OutputFolder::instance()
{
    static OutputFolder folder;
    return folder;
}

void OutputFolder::setDirectory(const QString &path)
{
    dir = path;
    if (!dir.isEmpty() && !dir.endsWith('/'))
        dir += '/';
}
