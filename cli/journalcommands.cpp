#include "cli/journalcommands.h"

#include "cli/commandcontext.h"
#include "cli/commandfailure.h"
#include "cli/connectionvalues.h"
#include "cli/jobdriver.h"
#include "cli/targetcheck.h"
#include "jobs/jobtexts.h"
#include "journal/changeexport.h"
#include "journal/changejournal.h"
#include "journal/runtexts.h"
#include "journal/undorun.h"
#include "journal/undotexts.h"
#include "run/changeruntexts.h"

namespace {

QString StartedText(const JournalRun &run)
{
    return run.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString DatabaseText(const JournalRun &run)
{
    return QStringLiteral("%1 on %2:%3").arg(run.database, run.server, run.port);
}

QString DatabaseText(const ConnectionSettings &values)
{
    return QStringLiteral("%1 on %2:%3").arg(values.database, values.server, values.port);
}

// The rows the journal holds as written, and those whose commit did not say how it went.
QString RowsText(const JournalRun &run)
{
    QString text = QString::number(run.rowsRecorded);
    if (run.rowsPending > 0)
        text += QStringLiteral(" (+%1 pending)").arg(run.rowsPending);
    return text;
}

// runs --export ID FILE: the run's changes as CSV, from any database's journal.
int ExportRun(const CommandContext &context)
{
    const qint64 id = *context.request.exportRun;
    for (const JournalEntry &entry : ChangeJournal::Entries()) {
        if (entry.id != id)
            continue;
        if (!entry.run)
            return context.out.fail(ExitCode::Failed,
                                    QStringLiteral("run %1's journal cannot be read: %2: %3")
                                        .arg(QString::number(id), entry.file, entry.damage));
        const qint64 lines = ExportChanges(*entry.run, context.request.exportFile);
        context.out.line(
            QStringLiteral("%1 values of run %2 written to %3")
                .arg(GroupedCount(lines), QString::number(id), context.request.exportFile));
        context.out.object({{QStringLiteral("command"), QStringLiteral("runs")},
                            {QStringLiteral("exported"), QString::number(id)},
                            {QStringLiteral("file"), context.request.exportFile},
                            {QStringLiteral("values"), lines}},
                           ExitCode::Done);
        return ToInt(ExitCode::Done);
    }
    return context.out.fail(ExitCode::Usage,
                            QStringLiteral("there is no run %1 in the journal; `recasor runs` "
                                           "lists them")
                                .arg(id));
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
            {QStringLiteral("nameRules"), run.nameRules},
            {QStringLiteral("leaveMixedCase"), run.leaveMixedCase},
            {QStringLiteral("keptValues"), QJsonArray::fromStringList(run.keptValues)},
            {QStringLiteral("condition"), run.condition},
            {QStringLiteral("language"), run.language},
            {QStringLiteral("rows"), run.rowsRecorded},
            {QStringLiteral("rowsPending"), run.rowsPending},
            {QStringLiteral("rowsRestored"), run.rowsRestoredEarlier},
            {QStringLiteral("endedWhole"), run.endedWhole},
            {QStringLiteral("undone"), run.undone},
            {QStringLiteral("state"), RunStateText(run)},
            {QStringLiteral("stopped"), run.stopped},
            {QStringLiteral("failure"), RunFailureText(run)},
            {QStringLiteral("process"), run.holder ? run.holder->pid : 0}};
}

// A run that may be undone now; else why not.
JournalRun Undoable(const JournalRun &run)
{
    if (run.holder)
        throw CommandFailure(ExitCode::Failed, RunBusyText(run.id, *run.holder));
    return run;
}

// The run to take back: the one named, or the last one of the database not undone yet.
JournalRun RunToUndo(const CommandContext &context)
{
    if (!context.request.run) {
        std::optional<JournalRun> run;
        try {
            run = ChangeJournal::Last(context.values);
        } catch (const UnreadableJournal &unreadable) {
            throw CommandFailure(
                ExitCode::Failed,
                QStringLiteral("the newest run's journal cannot be read, so which run is the "
                               "last is not known: %1: %2\n`recasor runs` lists the runs, and "
                               "`recasor undo --run ID` takes back the one named")
                    .arg(unreadable.file(), unreadable.why()));
        }
        if (!run)
            throw CommandFailure(ExitCode::Failed,
                                 QStringLiteral("there is no change run of this database to "
                                                "undo"));
        return Undoable(*run);
    }
    const qint64 id = *context.request.run;
    std::optional<JournalRun> run;
    try {
        run = ChangeJournal::Run(id, context.values);
    } catch (const UnreadableJournal &unreadable) {
        throw CommandFailure(ExitCode::Failed,
                             QStringLiteral("run %1's journal cannot be read: %2: %3")
                                 .arg(QString::number(id), unreadable.file(), unreadable.why()));
    }
    if (!run && ChangeJournal::RemovedByLimit(id))
        throw CommandFailure(
            ExitCode::Failed,
            QStringLiteral("run %1's journal was removed when the %2-run limit "
                           "was reached")
                .arg(QString::number(id), QString::number(ChangeJournal::KeptRuns)));
    if (!run)
        throw CommandFailure(ExitCode::Usage,
                             QStringLiteral("the journal holds no run %1 of this database; "
                                            "`recasor runs` lists the runs")
                                 .arg(id));
    if (run->undone)
        throw CommandFailure(ExitCode::Failed, QStringLiteral("run %1 was undone already").arg(id));
    if (run->rowsRecorded == 0 && run->rowsPending == 0 && !run->holder)
        throw CommandFailure(
            ExitCode::Failed,
            QStringLiteral("run %1 wrote no rows: there is nothing to take back").arg(id));
    return Undoable(*run);
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
    const UndoSummary summary = DriveJob<UndoRun, UndoSummary>(
        new UndoRun(context.values, run), context.values, run.table, elapsedMs,
        [](UndoRun &undo, QObject &context, ProgressPrinter &progress) {
            QObject::connect(
                &undo, &UndoRun::cautioned, &context, [&progress](const QStringList &owners) {
                    progress.say(QStringLiteral("recasor: ") + UntrustedOwnersText(owners));
                });
        });
    if (!summary.firstError.isEmpty())
        context.out.note(QStringLiteral("recasor: ") + summary.firstError);
    context.out.line(UndoClosingText(summary, QStringLiteral("recasor undo")));
    context.out.line(QStringLiteral("Time: ") + ElapsedText(elapsedMs));
    const ExitCode code = summary.endedEarly              ? ExitCode::Failed
                          : !summary.firstError.isEmpty() ? ExitCode::Refused
                                                          : ExitCode::Done;
    context.out.object(
        {{QStringLiteral("command"), QStringLiteral("undo")},
         {QStringLiteral("run"), RunJson(run)},
         {QStringLiteral("rowsRestored"), summary.rowsRestored},
         {QStringLiteral("rowsRestoredEarlier"), summary.rowsRestoredEarlier},
         {QStringLiteral("rowsLeftAlone"), summary.rowsLeftAlone},
         {QStringLiteral("error"), summary.firstError},
         {QStringLiteral("endedEarly"), summary.endedEarly},
         {QStringLiteral("untrustedOwners"), QJsonArray::fromStringList(summary.untrustedOwners)},
         {QStringLiteral("seconds"), elapsedMs / 1000.0}},
        code);
    return ToInt(code);
}

int CommandRuns(const CommandContext &context)
{
    if (context.request.exportRun)
        return ExportRun(context);
    // With connection values, the runs of that database alone: a script gives every command
    // the same options. A file that cannot be read may be any database's, and is always said.
    const CommandRequest &request = context.request;
    const bool onlyTarget = request.host || request.port || request.user || request.database;
    const ConnectionSettings target = ConnectionValues::Target(request);
    QList<JournalEntry> shown;
    for (const JournalEntry &entry : ChangeJournal::Entries()) {
        if (!entry.run || !onlyTarget ||
            (entry.run->server == target.server && entry.run->port == target.port &&
             entry.run->database == target.database))
            shown << entry;
    }
    QJsonArray runs, unreadable;
    for (const JournalEntry &entry : shown) {
        if (entry.run)
            runs.append(RunJson(*entry.run));
        else
            unreadable.append(QJsonObject{{QStringLiteral("id"), QString::number(entry.id)},
                                          {QStringLiteral("file"), entry.file},
                                          {QStringLiteral("reason"), entry.damage},
                                          {QStringLiteral("beingMade"), entry.beingMade()}});
    }
    context.out.object({{QStringLiteral("command"), QStringLiteral("runs")},
                        {QStringLiteral("runs"), runs},
                        {QStringLiteral("unreadable"), unreadable}},
                       ExitCode::Done);
    if (shown.isEmpty()) {
        context.out.line(
            onlyTarget
                ? QStringLiteral("The journal holds no runs of %1 (%2).")
                      .arg(DatabaseText(target), ChangeJournal::Folder())
                : QStringLiteral("The journal holds no runs (%1).").arg(ChangeJournal::Folder()));
        return ToInt(ExitCode::Done);
    }
    // Tab-separated, for cut and awk: names may hold spaces. A file that cannot be read stands
    // where its run would, with its name and why.
    context.out.line(
        QStringLiteral("id\tstarted\tdatabase\ttable\tfields\tchange\toptions\trows\tstate"));
    for (const JournalEntry &entry : shown) {
        QStringList columns{QString::number(entry.id)};
        if (const std::optional<JournalRun> &run = entry.run)
            columns << StartedText(*run) << DatabaseText(*run) << run->table.displayName()
                    << run->fields.join(u',') << RunChangeText(*run) << RunOptionsText(*run)
                    << RowsText(*run) << RunStateText(*run);
        else
            columns
                << QString() << QString() << QString() << QString() << QString() << QString()
                << QString()
                << (entry.beingMade()
                        ? QStringLiteral("in progress (its journal is being made)")
                        : QStringLiteral("cannot be read: %1: %2").arg(entry.file, entry.damage));
        context.out.line(columns.join(u'\t'));
    }
    return ToInt(ExitCode::Done);
}
