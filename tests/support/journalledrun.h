// A change run of the engine itself, for the tests of its undo: the run records every row it
// writes in the journal, and the journal's record of it is what comes back.
#pragma once

#include "db/dberror.h"
#include "journal/changejournal.h"
#include "run/changerun.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace JournalledRun {

// Runs the change and returns the journal's record of it. Throws DbError when the run ended
// early, JournalError when the journal holds no run that wrote rows.
inline JournalRun Make(const ConnectionSettings &settings, const TableRef &table,
                       const QStringList &fields, CaseMode mode)
{
    ChangeRun run(settings, CaseChange{table, fields, mode});
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

// Turns the journal file of a run not yet undone into one of the first layout, as the program
// wrote before it recorded the database's identity, then runs the further statements on it.
// Empty when done, else why not.
inline QString MakeFirstLayout(const QString &file, const QStringList &further = {})
{
    const QString connection = QStringLiteral("first-layout");
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        if (!db.open())
            failure = db.lastError().text();
        const QStringList statements =
            QStringList{QStringLiteral("ALTER TABLE run DROP COLUMN system_identifier"),
                        QStringLiteral("ALTER TABLE run DROP COLUMN database_oid"),
                        QStringLiteral("PRAGMA user_version = 1")} +
            further;
        for (const QString &sql : statements) {
            QSqlQuery query(db);
            if (failure.isEmpty() && !query.exec(sql))
                failure = sql + QStringLiteral(": ") + query.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return failure;
}

} // namespace JournalledRun
