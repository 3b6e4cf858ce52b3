#include "ui/groupedcount.h"

#include <QLocale>

QString GroupedCount(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}
