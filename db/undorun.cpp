// How an undo works. The journal's chunks are taken newest first (a row that a run wrote once per
// field goes back through its fields in the reverse order). For each chunk one UPDATE joins the
// chunk's rows, sent as three joined texts that the server splits, to the rows of the physical
// relation the run wrote, finds each row by its identity through the table's key (or its
// position), and writes the old value only where the row still holds the value the run wrote.
// When a statement fails for a value (a constraint or trigger refuses the old value now), the
// chunk is halved until the refused rows stand alone; they are left alone and the rest is
// written. Other failures end the undo; what it restored stays restored.
#include "db/undorun.h"

#include "db/chunkwriter.h"
#include "db/dbsession.h"
#include "db/journalreader.h"
#include "db/sqlquote.h"

#include <QHash>
#include <QVariant>

namespace {

// Seconds, as the undo's session asks for both its login and its statements.
constexpr int UndoTimeout = 5000;

// As for the run's writing: the rows are hashed in memory, no machine code is compiled for a
// statement, and the plan is made once for every chunk.
const QStringList SessionSetup = {QStringLiteral("SET work_mem = '64MB'"),
                                  QStringLiteral("SET jit = off"),
                                  QStringLiteral("SET plan_cache_mode = force_generic_plan")};

// Rows of a chunk, as three lists.
struct Rows {
    QList<QString> identities, olds, news;
};

class Undoer
{
public:
    Undoer(DbSession &session, const JournalRun &run, JournalReader &reader,
           const std::atomic<bool> &stop, const std::function<void(int)> &progress,
           UndoSummary &summary)
        : session_(session), run_(run), reader_(reader), stop_(stop), progress_(progress),
          summary_(summary)
    {
    }

    void run()
    {
        const qint64 total = reader_.rowsLeft();
        qint64 done = 0;
        int reported = -1;
        while (true) {
            if (stop_.load(std::memory_order_relaxed)) {
                summary_.endedEarly = true;
                return;
            }
            const std::optional<JournalChunk> chunk = reader_.next();
            if (!chunk)
                break;
            const QString &sql = statementFor(*chunk);
            if (sql.isEmpty()) {
                // The relation or the field is gone: none of its rows can be found.
                summary_.rowsLeftAlone += chunk->rows;
            } else {
                const qint64 restored = restore(sql, *chunk);
                summary_.rowsRestored += restored;
                summary_.rowsLeftAlone += chunk->rows - restored;
            }
            reader_.markUndone(*chunk);
            done += chunk->rows;
            const int percent = total > 0 ? int(qMin<qint64>(done * 100 / total, 99)) : 0;
            if (percent != reported)
                progress_(reported = percent);
        }
        progress_(100);
    }

private:
    // The UPDATE for a chunk's relation and field; empty when they no longer exist. The field's
    // type is looked up the way a run does.
    const QString &statementFor(const JournalChunk &chunk)
    {
        const QString key = chunk.relationSql + QChar(0) + chunk.field;
        auto found = statements_.constFind(key);
        if (found != statements_.cend())
            return *found;
        QSqlQuery type =
            session_.exec(QStringLiteral("SELECT tn.nspname, t.typname FROM pg_attribute a"
                                         " JOIN pg_type t ON t.oid = a.atttypid"
                                         " JOIN pg_namespace tn ON tn.oid = t.typnamespace"
                                         " WHERE a.attrelid = to_regclass(%1) AND a.attnum > 0"
                                         " AND NOT a.attisdropped AND a.attname = %2")
                              .arg(QuoteLiteral(chunk.relationSql), QuoteLiteral(chunk.field)));
        QString sql;
        if (type.next()) {
            const QString schema = type.value(0).toString(), name = type.value(1).toString();
            const bool plainText =
                schema == QLatin1String("pg_catalog") &&
                (name == QLatin1String("text") || name == QLatin1String("varchar"));
            const QString field = QStringLiteral("t.") + QuoteIdentifier(chunk.field);
            // Values that are not text are compared in their text form, as the run wrote them.
            // A missing old value (a lone empty text, which the server splits into no element)
            // matches nothing.
            sql = QStringLiteral("UPDATE ONLY %1 AS t SET %2 = CAST(v.o AS %3)"
                                 " FROM unnest(string_to_array(?, ?), string_to_array(?, ?),"
                                 " string_to_array(?, ?)) AS v(id, n, o)"
                                 " WHERE %4 AND %5 = v.n COLLATE \"C\" AND v.o IS NOT NULL")
                      .arg(chunk.relationSql, QuoteIdentifier(chunk.field),
                           QualifiedName(schema, name),
                           run_.identity.matchSql(QStringLiteral("t"), QStringLiteral("v.id")),
                           plainText ? field : TextFormOf(field));
        }
        return *statements_.insert(key, sql);
    }

    // Rows restored; rows the server refuses are found by halving and left alone.
    qint64 restore(const QString &sql, const JournalChunk &chunk)
    {
        const QString &d = chunk.delimiter;
        try {
            return session_.execute(sql, {chunk.identities, d, chunk.news, d, chunk.olds, d});
        } catch (const DbError &error) {
            if (!ChunkWriter::concernsOneValue(error))
                throw;
            if (chunk.rows <= 1) {
                refused(error);
                return 0;
            }
        }
        const Rows rows{chunk.identities.split(d), chunk.olds.split(d), chunk.news.split(d)};
        return restoreRange(sql, d, rows, 0, rows.identities.size());
    }

    qint64 restoreRange(const QString &sql, const QString &d, const Rows &rows, qsizetype from,
                        qsizetype to)
    {
        if (from >= to)
            return 0;
        auto joined = [&](const QList<QString> &list) { return list.mid(from, to - from).join(d); };
        try {
            return session_.execute(
                sql, {joined(rows.identities), d, joined(rows.news), d, joined(rows.olds), d});
        } catch (const DbError &error) {
            if (!ChunkWriter::concernsOneValue(error))
                throw;
            if (to - from == 1) {
                refused(error);
                return 0;
            }
        }
        const qsizetype middle = from + (to - from) / 2;
        return restoreRange(sql, d, rows, from, middle) + restoreRange(sql, d, rows, middle, to);
    }

    void refused(const DbError &error)
    {
        if (summary_.firstError.isEmpty())
            summary_.firstError = error.text();
    }

    DbSession &session_;
    const JournalRun &run_;
    JournalReader &reader_;
    const std::atomic<bool> &stop_;
    const std::function<void(int)> &progress_;
    UndoSummary &summary_;
    QHash<QString, QString> statements_;
};

} // namespace

UndoRun::UndoRun(const ConnectionSettings &settings, const JournalRun &run, QObject *parent)
    : QObject(parent), settings_(settings), run_(run)
{
    qRegisterMetaType<UndoSummary>();
}

void UndoRun::run()
{
    UndoSummary summary;
    try {
        JournalReader reader(run_);
        DbSession session(settings_, DbSession::Options{UndoTimeout, UndoTimeout});
        for (const QString &statement : SessionSetup)
            session.execute(statement);
        const std::function<void(int)> report = [this](int percent) { emit progress(percent); };
        Undoer(session, run_, reader, stop_, report, summary).run();
    } catch (const DbError &error) {
        summary.endedEarly = true;
        // The failure that ended the undo is the one the user must see first.
        summary.firstError = error.text();
    } catch (const JournalError &error) {
        summary.endedEarly = true;
        summary.firstError = error.text();
    }
    if (!summary.endedEarly) {
        try {
            ChangeJournal::MarkUndone(run_);
        } catch (const JournalError &error) {
            if (summary.firstError.isEmpty())
                summary.firstError = error.text();
        }
    }
    emit finished(summary);
}
