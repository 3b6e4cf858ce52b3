#include "journal/undotexts.h"

#include "jobs/jobtexts.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"

QString UndoClosingText(const UndoSummary &summary, const QString &undo)
{
    QString text =
        (summary.endedEarly ? QStringLiteral("The undo ended before it was complete.")
                            : QStringLiteral("The change run was undone.")) +
        QStringLiteral("\n\nRows restored: %1\nRows left alone because they changed "
                       "since the run or could not be found: %2")
            .arg(GroupedCount(summary.rowsRestored), GroupedCount(summary.rowsLeftAlone));
    if (summary.rowsNeverWritten > 0)
        text += QStringLiteral("\nRows the run never wrote, as its commit was cut off: %1")
                    .arg(GroupedCount(summary.rowsNeverWritten));
    if (summary.rowsRestoredEarlier > 0)
        text += QStringLiteral("\nRows restored by an earlier undo of this run: %1")
                    .arg(GroupedCount(summary.rowsRestoredEarlier));
    if (summary.endedEarly)
        text += QStringLiteral("\nThe other rows keep their converted values; %1 goes on where "
                               "this undo ended and takes them back.")
                    .arg(undo);
    return text;
}

QString RunBusyText(qint64 runId, const RunLock::Holder &holder)
{
    const QString process =
        holder.pid > 0 ? QStringLiteral(" (process %1)").arg(holder.pid) : QString();
    return holder.work == RunLock::Work::Run
               ? QStringLiteral("Run %1 is still going on%2; stop it first or wait.")
                     .arg(QString::number(runId), process)
               : QStringLiteral("Run %1 is being undone%2; stop that undo first or wait.")
                     .arg(QString::number(runId), process);
}

QString UndoRefusalText(const JournalRun &run)
{
    if (run.holder)
        return RunBusyText(run.id, *run.holder);
    if (run.undone)
        return QStringLiteral("The run was undone already.");
    if (run.rowsRecorded == 0 && run.rowsPending == 0)
        return QStringLiteral("The run wrote no rows: there is nothing to take back.");
    return QString();
}
