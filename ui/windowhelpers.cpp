#include "ui/windowhelpers.h"

#include <QFileInfo>
#include <QGuiApplication>

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString CutTitle(QString title, int maxLength)
{
    while (title.size() > maxLength) {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0) {
            title.truncate(maxLength);
            break;
        }
        title.truncate(blank);
    }
    return title;
}

void SetAppTitle(const QString &productTitle)
{
    QGuiApplication::setApplicationDisplayName(CutTitle(productTitle));
}

QString AppTitle()
{
    return QGuiApplication::applicationDisplayName();
}
