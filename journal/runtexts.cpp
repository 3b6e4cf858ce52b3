#include "journal/runtexts.h"

#include "jobs/jobtexts.h"
#include "journal/changejournal.h"

RunState RunStateOf(const JournalRun &run)
{
    if (run.holder)
        return run.inProgress() ? RunState::InProgress : RunState::BeingUndone;
    if (run.undone)
        return RunState::Undone;
    if (run.rowsRestoredEarlier > 0)
        return RunState::PartlyUndone;
    if (run.ended && run.endedWhole)
        return RunState::Done;
    if (run.ended && run.stopped)
        return RunState::Stopped;
    // Ended early without a stop, or never ended: its process went before it could say how.
    return RunState::Failed;
}

QString RunStateText(const JournalRun &run)
{
    switch (RunStateOf(run)) {
    case RunState::InProgress:
        return QStringLiteral("in progress");
    case RunState::BeingUndone:
        return QStringLiteral("being undone");
    case RunState::Done:
        return QStringLiteral("done");
    case RunState::Stopped:
        return QStringLiteral("stopped");
    case RunState::Failed:
        return QStringLiteral("failed");
    case RunState::Undone:
        return QStringLiteral("undone");
    case RunState::PartlyUndone:
        return QStringLiteral("partly undone (%1 of %2 rows)")
            .arg(GroupedCount(run.rowsRestoredEarlier),
                 GroupedCount(run.rowsRecorded + run.rowsPending));
    }
    return QString();
}

QString RunFailureText(const JournalRun &run)
{
    if (RunStateOf(run) != RunState::Failed)
        return QString();
    if (!run.ended)
        return QStringLiteral("The program ended before the run did.");
    if (run.failure.isEmpty())
        return QStringLiteral("The run ended early.");
    return run.failure;
}

QString RunOptionsText(const JournalRun &run)
{
    QStringList options;
    if (!run.exceptionWords.isEmpty() && CaseModeOf(run.mode).wordList)
        options << (run.exceptionWords.size() == 1
                        ? QStringLiteral("1 word exception")
                        : QStringLiteral("%1 word exceptions")
                              .arg(GroupedCount(run.exceptionWords.size())));
    if (run.leaveMixedCase)
        options << QStringLiteral("mixed case left");
    if (!run.keptValues.isEmpty())
        options
            << (run.keptValues.size() == 1
                    ? QStringLiteral("1 value kept")
                    : QStringLiteral("%1 values kept").arg(GroupedCount(run.keptValues.size())));
    // On one line: its line breaks and tabs become spaces.
    if (!run.condition.isEmpty())
        options << QStringLiteral("only rows where ") + run.condition.simplified();
    return options.isEmpty() ? QStringLiteral("-") : options.join(QStringLiteral(", "));
}

QString RunChangeText(const JournalRun &run)
{
    return ChangeWording(run.mode, run.nameRules,
                         CaseLanguageWithCode(run.language).value_or(CaseLanguage::Any));
}
