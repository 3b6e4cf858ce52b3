#include "run/changeruntexts.h"

#include "jobs/jobtexts.h"
#include "run/changerun.h"

#include <algorithm>

QString EndedEarlyText(const QString &how, qint64 rowsWritten, const QString &undo)
{
    return QStringLiteral("The change run %1 before it was complete.\n\n"
                          "Rows written: %2\nThe other rows keep their old letter case; %3 "
                          "takes back what was written.")
        .arg(how, GroupedCount(rowsWritten), undo);
}

namespace {

constexpr qsizetype RefusalTextsShown = 5;

QString Rows(qint64 n)
{
    return n == 1 ? QStringLiteral("1 row") : GroupedCount(n) + QStringLiteral(" rows");
}

} // namespace

QString RefusedText(const ChangeRunSummary &summary)
{
    if (summary.rowsRefused == 0)
        return {};
    QString text = summary.rowsRefused == 1
                       ? QStringLiteral("1 row could not be written; it keeps its old letter case.")
                       : QStringLiteral("%1 could not be written; they keep their old letter case.")
                             .arg(Rows(summary.rowsRefused));
    QList<Refusal> refusals = summary.refusals;
    std::stable_sort(refusals.begin(), refusals.end(),
                     [](const Refusal &a, const Refusal &b) { return a.rows > b.rows; });
    text += refusals.size() == 1 ? QStringLiteral("\nThe server's reason:")
                                 : QStringLiteral("\nThe server's reasons:");
    for (qsizetype i = 0; i < qMin(refusals.size(), RefusalTextsShown); ++i)
        text += QStringLiteral("\n  %1: %2").arg(Rows(refusals[i].rows), refusals[i].text);
    if (refusals.size() > RefusalTextsShown)
        text += QStringLiteral("\n  and %1 more").arg(refusals.size() - RefusalTextsShown);
    return text;
}

QString LeftChangedText(qint64 rows)
{
    if (rows == 0)
        return {};
    if (rows == 1)
        return QStringLiteral("1 row left as it was: another client changed it during the run.");
    return QStringLiteral("%1 rows left as they were: another client changed them during the run.")
        .arg(GroupedCount(rows));
}

QString LeftMixedText(qint64 values)
{
    if (values == 0)
        return {};
    return values == 1
               ? QStringLiteral("1 mixed-case value left as written")
               : QStringLiteral("%1 mixed-case values left as written").arg(GroupedCount(values));
}

QString KeptText(qint64 values)
{
    if (values == 0)
        return {};
    return values == 1 ? QStringLiteral("1 value left as written at your choice")
                       : QStringLiteral("%1 values left as written at your choice")
                             .arg(GroupedCount(values));
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
    // Short enough for the window's status line.
    return QStringLiteral("Caution: %1 (no superuser) %2 this table or its triggers; they run "
                          "with your superuser rights.")
        .arg(names, owners.size() == 1 ? QStringLiteral("owns") : QStringLiteral("own"));
}
