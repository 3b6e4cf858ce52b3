#include "db/counttexts.h"

#include <QLocale>

QString GroupedCount(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

QString ElapsedText(qint64 ms)
{
    if (ms < 10000)
        return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s");
    const qint64 s = ms / 1000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}
