#include "ui/filefolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString &LastFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString FileDialogStart(const QString &fileName)
{
    const QString folder = LastFolder().isEmpty() ? QDir::homePath() : LastFolder();
    return fileName.isEmpty() ? folder : QDir(folder).filePath(fileName);
}

void RememberFileFolder(const QString &path)
{
    LastFolder() = QFileInfo(path).absolutePath();
}
