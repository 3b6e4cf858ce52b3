#include "run/changeruntexts.h"

#include "db/counttexts.h"
#include "run/changerun.h"

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

QString RelationLeftText(const RelationLeft &left)
{
    return left.rows < 0 ? QStringLiteral("Left as it was: %1, whose rows live on another server, "
                                          "which could not be reached: %2")
                               .arg(left.name, left.reason)
                         : QStringLiteral("Left as it was: %1 rows of %2, which live on another "
                                          "server: %3")
                               .arg(GroupedCount(left.rows), left.name, left.reason);
}

QString UntrustedOwnersText(const QStringList &owners)
{
    QString names = owners.value(0);
    for (qsizetype i = 1; i < owners.size(); ++i)
        names +=
            (i + 1 == owners.size() ? QStringLiteral(" and ") : QStringLiteral(", ")) + owners[i];
    return (owners.size() == 1
                ? QStringLiteral("Caution: you are a superuser, and %1, who is not, owns this "
                                 "table or its triggers; they run with your rights.")
                : QStringLiteral("Caution: you are a superuser, and %1, who are not, own this "
                                 "table or its triggers; they run with your rights."))
        .arg(names);
}
