// A change run of the engine itself, for the tests of its undo: the run records every row it
// writes in the journal, and the journal's record of it is what comes back.
#pragma once

#include "db/changejournal.h"
#include "db/changerun.h"
#include "db/dberror.h"

#include <QObject>

namespace JournalledRun {

// Runs the change and returns the journal's record of it. Throws DbError when the run ended
// early, JournalError when the journal holds no run that wrote rows.
inline JournalRun Make(const ConnectionSettings &settings, const TableRef &table,
                       const QStringList &fields, CaseMode mode)
{
    ChangeRun run(settings, table, fields, mode);
    ChangeRunSummary summary;
    QObject::connect(&run, &ChangeRun::finished, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    if (summary.endedEarly)
        throw DbError(summary.firstError);
    const std::optional<JournalRun> last = ChangeJournal::Last(settings);
    if (!last)
        throw JournalError(JournalError::Action::Reading,
                           QStringLiteral("no run that wrote rows is in the journal"));
    return *last;
}

} // namespace JournalledRun
