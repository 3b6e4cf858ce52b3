#include "ui/statustexts.h"

#include "db/lockwaitwatcher.h"
#include "jobs/casechange.h"
#include "jobs/jobtexts.h"
#include "journal/undorun.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "run/changeruntexts.h"

namespace {

// "ui_main.people (name)" for one field, "2 fields of ui_main.people" for more.
QString FieldsOf(const TableRef &table, const QStringList &fields)
{
    if (fields.size() == 1)
        return QStringLiteral("%1 (%2)").arg(table.displayName(), fields[0]);
    return QStringLiteral("%1 fields of %2").arg(fields.size()).arg(table.displayName());
}

QString Rows(qint64 n)
{
    return n == 1 ? QStringLiteral("1 row") : GroupedCount(n) + QStringLiteral(" rows");
}

// A run that ended before it was complete: how far it got.
QString EndedEarlyStatus(const ChangeRunSummary &summary, const TableRef &table, qint64 elapsedMs)
{
    const QString ended = summary.stopped ? QStringLiteral("Change run stopped after %1")
                                          : QStringLiteral("Change run failed after %1");
    if (summary.rowsWritten == 0)
        return ended.arg(ElapsedText(elapsedMs)) +
               QStringLiteral(": nothing was written to %1.").arg(table.displayName());
    return ended.arg(ElapsedText(elapsedMs)) +
           QStringLiteral(": %1 of %2 written; Ctrl+Z takes them back.")
               .arg(Rows(summary.rowsWritten), table.displayName());
}

} // namespace

QString ChangeRunStatus(const ChangeRunSummary &summary, const CaseChange &change, qint64 elapsedMs)
{
    const TableRef &table = change.table;
    const QStringList &fields = change.fields;
    if (summary.noMode || !change.mode)
        return {};
    const QString wording = ChangeWording(*change.mode, change.nameRules, change.language);
    if (summary.endedEarly)
        return EndedEarlyStatus(summary, table, elapsedMs);
    QStringList changed = fields;
    for (const FieldKind &field : summary.leftAlone)
        changed.removeAll(field.name);
    if (changed.isEmpty())
        return QStringLiteral("Nothing was changed in %1: the fields chosen are left alone.")
            .arg(table.displayName());
    QString refused =
        summary.rowsRefused > 0
            ? QStringLiteral("; %1 could not be written").arg(Rows(summary.rowsRefused))
            : QString();
    if (summary.rowsLeftChanged > 0)
        refused += QStringLiteral("; %1 left as another client changed them")
                       .arg(Rows(summary.rowsLeftChanged));
    for (const QString &left :
         {LeftMixedText(summary.valuesLeftMixed), KeptText(summary.valuesKept)})
        if (!left.isEmpty())
            refused += QStringLiteral("; ") + left;
    // Rows the run did not reach are said here too, or the line would read as a whole run.
    if (!summary.relationsLeft.isEmpty()) {
        qint64 rows = 0;
        for (const RelationLeft &left : summary.relationsLeft)
            rows = rows < 0 || left.rows < 0 ? -1 : rows + left.rows;
        refused += rows < 0 ? QStringLiteral("; rows on another server not changed")
                            : QStringLiteral("; %1 on another server not changed").arg(Rows(rows));
    }
    if (summary.rowsWritten == 0)
        return (summary.rowsRefused > 0 || summary.rowsLeftChanged > 0
                    ? QStringLiteral("Nothing was changed in %1 (%2)")
                    : QStringLiteral("Nothing to change in %1 for %3 (%2)"))
                   .arg(FieldsOf(table, changed), ElapsedText(elapsedMs), wording) +
               refused + u'.';
    return QStringLiteral("Changed %1 in %2 to %3 in %4")
               .arg(Rows(summary.rowsWritten), FieldsOf(table, changed), wording,
                    ElapsedText(elapsedMs)) +
           refused + QStringLiteral("; Ctrl+Z takes it back.");
}

QString PreviewStatus(const PreviewResult &result, qint64 elapsedMs)
{
    if (result.noMode || !result.mode)
        return {};
    const QString elapsed = ElapsedText(elapsedMs);
    if (!result.error.isEmpty())
        return QStringLiteral("Preview Changes failed after %1.").arg(elapsed);
    if (result.stopped)
        return QStringLiteral("Preview Changes was stopped after %1.").arg(elapsed);
    QStringList counted;
    qint64 rows = 0, leftMixed = 0, kept = 0;
    for (const FieldCounts &field : result.counted) {
        counted << field.name;
        rows += field.rowsChanging;
        leftMixed += field.valuesLeftMixed;
        kept += field.valuesKept;
    }
    QString left;
    for (const QString &clause : {LeftMixedText(leftMixed), KeptText(kept)})
        if (!clause.isEmpty())
            left += QStringLiteral("; ") + clause;
    if (counted.isEmpty())
        return QStringLiteral("Preview Changes: nothing in %1 would change; the fields chosen are "
                              "left alone (%2).")
            .arg(result.table.displayName(), elapsed);
    const QString wording = ChangeWording(*result.mode, result.nameRules, result.language);
    if (rows == 0)
        return QStringLiteral("Preview Changes: nothing in %1 would change to %2 (%3)%4.")
            .arg(FieldsOf(result.table, counted), wording, elapsed, left);
    return QStringLiteral("Preview Changes: %1 in %2 would change to %3 (%4)%5.")
        .arg(Rows(rows), FieldsOf(result.table, counted), wording, elapsed, left);
}

QString UndoStatus(const UndoSummary &summary, const TableRef &table, qint64 elapsedMs)
{
    const QString elapsed = ElapsedText(elapsedMs);
    const QString leftAlone =
        summary.rowsLeftAlone > 0
            ? QStringLiteral(", %1 left alone").arg(Rows(summary.rowsLeftAlone))
            : QString();
    if (!summary.endedEarly)
        return QStringLiteral("Undid the change run of %1 in %2: %3 restored%4.")
            .arg(table.displayName(), elapsed, Rows(summary.rowsRestored), leftAlone);
    return (summary.firstError.isEmpty() ? QStringLiteral("Undo of %1 stopped after %2")
                                         : QStringLiteral("Undo of %1 failed after %2"))
               .arg(table.displayName(), elapsed) +
           QStringLiteral(": %1 restored%2; Ctrl+Z goes on where it ended.")
               .arg(Rows(summary.rowsRestored), leftAlone);
}

QString LockWaitStatus(const LockWait &wait, const TableRef &taskTable)
{
    return LockWaitText(wait, taskTable, QStringLiteral("Stop (Esc) ends it"));
}

QString TaskTitle(const QString &verb, const CaseChange &change)
{
    return QStringLiteral("%1 %2 (%3) to %4")
        .arg(verb, change.table.displayName(), change.fields.join(QStringLiteral(", ")),
             change.mode ? ChangeWording(*change.mode, change.nameRules, change.language)
                         : QString());
}
