#include "cli/journalcommands.h"

#include "cli/commandcontext.h"
#include "cli/commandfailure.h"
#include "cli/jobdriver.h"
#include "cli/targetcheck.h"
#include "db/counttexts.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"
#include "journal/undotexts.h"

namespace {

QString StartedText(const JournalRun &run)
{
    return run.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString DatabaseText(const JournalRun &run)
{
    return QStringLiteral("%1 on %2:%3").arg(run.database, run.server, run.port);
}

QJsonObject RunJson(const JournalRun &run)
{
    return {{QStringLiteral("id"), QString::number(run.id)},
            {QStringLiteral("started"), run.started.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("server"), run.server},
            {QStringLiteral("port"), run.port},
            {QStringLiteral("database"), run.database},
            {QStringLiteral("table"), TableJson(run.table)},
            {QStringLiteral("fields"), QJsonArray::fromStringList(run.fields)},
            {QStringLiteral("mode"), CaseModeText(run.mode)},
            {QStringLiteral("rows"), run.rowsRecorded},
            {QStringLiteral("endedWhole"), run.endedWhole},
            {QStringLiteral("undone"), run.undone}};
}

// The run to take back: the one named, or the last one of the database not undone yet.
JournalRun RunToUndo(const CommandContext &context)
{
    if (!context.request.run) {
        std::optional<JournalRun> run = ChangeJournal::Last(context.values);
        if (!run)
            throw CommandFailure(ExitCode::Failed,
                                 QStringLiteral("there is no change run of this database to "
                                                "undo"));
        return *run;
    }
    const qint64 id = *context.request.run;
    std::optional<JournalRun> run = ChangeJournal::Run(id, context.values);
    if (!run)
        throw CommandFailure(ExitCode::Usage,
                             QStringLiteral("the journal holds no run %1 of this database; "
                                            "`recasor runs` lists the runs")
                                 .arg(id));
    if (run->undone)
        throw CommandFailure(ExitCode::Failed, QStringLiteral("run %1 was undone already").arg(id));
    if (run->rowsRecorded == 0)
        throw CommandFailure(
            ExitCode::Failed,
            QStringLiteral("run %1 wrote no rows: there is nothing to take back").arg(id));
    return *run;
}

} // namespace

int CommandUndo(const CommandContext &context)
{
    TargetCheck::Connection(context.values);
    const JournalRun run = RunToUndo(context);
    context.out.note(QStringLiteral("Undoing run %1: %2 (%3) to %4, started %5, %6 rows written.")
                         .arg(QString::number(run.id), run.table.displayName(),
                              run.fields.join(QStringLiteral(", ")), CaseModeText(run.mode),
                              StartedText(run), GroupedCount(run.rowsRecorded)));
    qint64 elapsedMs = 0;
    const UndoSummary summary =
        DriveJob<UndoRun, UndoSummary>(new UndoRun(context.values, run), context.values,
                                       run.table, elapsedMs);
    if (!summary.firstError.isEmpty())
        context.out.note(QStringLiteral("recasor: ") + summary.firstError);
    context.out.line(UndoClosingText(summary, QStringLiteral("recasor undo")));
    context.out.line(QStringLiteral("Time: ") + ElapsedText(elapsedMs));
    const ExitCode code = summary.endedEarly              ? ExitCode::Failed
                          : !summary.firstError.isEmpty() ? ExitCode::Refused
                                                          : ExitCode::Done;
    context.out.object({{QStringLiteral("command"), QStringLiteral("undo")},
                        {QStringLiteral("run"), RunJson(run)},
                        {QStringLiteral("rowsRestored"), summary.rowsRestored},
                        {QStringLiteral("rowsRestoredEarlier"), summary.rowsRestoredEarlier},
                        {QStringLiteral("rowsLeftAlone"), summary.rowsLeftAlone},
                        {QStringLiteral("error"), summary.firstError},
                        {QStringLiteral("endedEarly"), summary.endedEarly},
                        {QStringLiteral("seconds"), elapsedMs / 1000.0}},
                       code);
    return ToInt(code);
}

int CommandRuns(const CommandContext &context)
{
    const QList<JournalRun> runs = ChangeJournal::Runs();
    QJsonArray list;
    for (const JournalRun &run : runs)
        list.append(RunJson(run));
    context.out.object(
        {{QStringLiteral("command"), QStringLiteral("runs")}, {QStringLiteral("runs"), list}},
        ExitCode::Done);
    if (runs.isEmpty()) {
        context.out.line(
            QStringLiteral("The journal holds no runs (%1).").arg(ChangeJournal::Folder()));
        return ToInt(ExitCode::Done);
    }
    // Tab-separated, for cut and awk: names may hold spaces.
    context.out.line(QStringLiteral("id\tstarted\tdatabase\ttable\tfields\tmode\trows\tundone"));
    for (const JournalRun &run : runs)
        context.out.line(QStringList{QString::number(run.id), StartedText(run), DatabaseText(run),
                                     run.table.displayName(), run.fields.join(u','),
                                     CaseModeText(run.mode), QString::number(run.rowsRecorded),
                                     run.undone ? QStringLiteral("undone") : QStringLiteral("no")}
                             .join(u'\t'));
    return ToInt(ExitCode::Done);
}
