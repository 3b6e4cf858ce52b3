#include "run/changeruntexts.h"

#include "db/counttexts.h"

QString EndedEarlyText(const QString &how, qint64 rowsWritten, const QString &undo)
{
    return QStringLiteral("The change run %1 before it was complete.\n\n"
                          "Rows written: %2\nThe other rows keep their old letter case; %3 "
                          "takes back what was written.")
        .arg(how, GroupedCount(rowsWritten), undo);
}

QString ValuesNotWrittenText(qint64 valuesNotWritten)
{
    return valuesNotWritten == 1
               ? QStringLiteral("1 value could not be written; it keeps its old letter case.")
               : QStringLiteral("%1 values could not be written; they keep their old letter "
                                "case.")
                     .arg(GroupedCount(valuesNotWritten));
}
