// A change run recorded in the journal the way the change run records it, for tests of the
// journal's undo: the run begins in the journal, each field's distinct values are converted by
// the rule, the pairs are joined to the rows by value with one UPDATE that returns the identity
// of every row it writes, those rows go into the journal before the UPDATE is committed, and the
// run ends. For text and varchar fields of a table without children.
#pragma once

#include "db/changejournal.h"
#include "db/dbsession.h"
#include "db/journalwriter.h"
#include "db/sqlquote.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace JournalledRun {

// Returns the run as Begin gave it; chunkRows splits each field's rows into chunks of that many
// (0: one chunk per field). Throws DbError or JournalError.
inline JournalRun Make(const ConnectionSettings &settings, const TableRef &table,
                       const QStringList &fields, CaseMode mode, int chunkRows = 0)
{
    DbSession session(settings);
    JournalRun run;
    run.server = settings.server;
    run.port = settings.port;
    run.database = settings.database;
    run.table = table;
    run.fields = fields;
    run.mode = mode;
    run.identity = RowIdentity::Of(session, table);
    run = ChangeJournal::Begin(run);
    JournalWriter writer(run);

    auto failed = [](const QSqlQuery &query) { return DbSession::errorFrom(query.lastError()); };
    for (const QString &field : fields) {
        QList<QString> olds, news;
        QSqlQuery values = session.exec(QStringLiteral("SELECT DISTINCT %1 FROM ONLY %2")
                                            .arg(QuoteIdentifier(field), table.sql()));
        while (values.next()) {
            const QString old = values.value(0).toString();
            const QString converted = ApplyCaseMode(mode, old);
            if (!values.value(0).isNull() && converted != old) {
                olds << old;
                news << converted;
            }
        }
        if (olds.isEmpty())
            continue;
        const QString delimiter = UnusedDelimiter(olds + news);

        QSqlDatabase &db = session.database();
        db.transaction();
        QSqlQuery update(db);
        update.setForwardOnly(true);
        update.prepare(
            QStringLiteral("UPDATE ONLY %1 AS t SET %2 = v.n"
                           " FROM unnest(string_to_array(?, ?), string_to_array(?, ?))"
                           " AS v(o, n) WHERE t.%2 = v.o COLLATE \"C\""
                           " RETURNING %3, v.o, v.n")
                .arg(table.sql(), QuoteIdentifier(field), run.identity.sql(QStringLiteral("t"))));
        for (const QString &value :
             {olds.join(delimiter), delimiter, news.join(delimiter), delimiter})
            update.addBindValue(value);
        if (!update.exec()) {
            const DbError error = failed(update);
            db.rollback();
            throw error;
        }
        QList<QString> identities, written, converted;
        auto record = [&] {
            writer.record(field, table.sql(), identities, written, converted);
            run.rowsWritten += identities.size();
            identities.clear();
            written.clear();
            converted.clear();
        };
        while (update.next()) {
            identities << update.value(0).toString();
            written << update.value(1).toString();
            converted << update.value(2).toString();
            if (chunkRows > 0 && identities.size() == chunkRows)
                record();
        }
        record();
        update = QSqlQuery(db);
        db.commit();
    }
    run.valuesChanged = run.rowsWritten;
    run.endedWhole = true;
    ChangeJournal::End(run);
    return run;
}

} // namespace JournalledRun
