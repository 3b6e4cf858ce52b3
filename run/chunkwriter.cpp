#include "run/chunkwriter.h"

#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/expectedfailure.h"
#include "db/sqlquote.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QVariant>
#include <chrono>
#include <thread>

namespace {

constexpr int ConflictAttempts = 6;

// Runs the action again after a deadlock or serialization failure, with a short random pause
// that grows with each try, so that the two transactions do not meet again in step.
template <typename Action>
auto withRetries(Action action) -> decltype(action())
{
    for (int attempt = 1;; ++attempt) {
        try {
            return action();
        } catch (const DbError &error) {
            if (!IsConflict(error) || attempt == ConflictAttempts)
                throw;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(QRandomGenerator::global()->bounded(10, 60) * attempt));
    }
}

// Whether a failed commit certainly wrote nothing: the server answered it with an error.
// Class 08 is a lost or failed connection, and HY the driver's own failures; either may come
// after the server committed.
bool refusedByServer(const DbError &error)
{
    const QString state = error.sqlState();
    return state.size() == 5 && !state.startsWith(QLatin1String("08")) &&
           !state.startsWith(QLatin1String("HY"));
}

QString condition(const QString &filter)
{
    return filter.isEmpty() ? QStringLiteral("true") : filter;
}

} // namespace

ChunkWriter::ChunkWriter(const ConnectionSettings &settings, int timeout, const QStringList &setup,
                         CancelGroup &cancel, RowRecorderFactory recorder)
    : makeRecorder_(std::move(recorder)),
      worker_(settings, DbSession::Options{timeout, timeout, true, true}, setup, &cancel)
{
}

void ChunkWriter::submit(WriteJob job)
{
    worker_.submit([this, job = std::move(job)](DbSession &session) {
        // The recorder is made in the worker's thread, which its journal connection belongs to.
        if (makeRecorder_ && !recorder_)
            recorder_ = makeRecorder_();
        result_ = write(session, job);
    });
}

WriteResult ChunkWriter::wait()
{
    WriteResult result;
    try {
        worker_.wait();
        result = std::move(result_);
    } catch (const DbError &error) {
        result.failure = error; // the session could not be opened or set up
    } catch (const std::exception &error) {
        result.failure = DbError(QString::fromStdString(error.what())); // nor the recorder made
    }
    result_ = WriteResult();
    return result;
}

QString ChunkWriter::RangeSql(const QString &first, const QString &end)
{
    return QStringLiteral("t.ctid >= '%1'::tid AND t.ctid < '%2'::tid").arg(first, end);
}

// Each statement commits on its own, after its rows are recorded: one statement changes all the
// rows it matches or none, so nothing is ever half-written, and a failed statement leaves
// nothing behind. A stop that comes once the rows are recorded lets the statement commit, so
// that the record and the table agree.
template <typename Statement>
void ChunkWriter::recorded(DbSession &session, Statement statement)
{
    if (!recorder_) {
        statement();
        return;
    }
    session.execute(QStringLiteral("BEGIN"));
    try {
        statement();
    } catch (...) {
        try {
            session.endTransaction(false);
        } catch (const DbError &) {
            // The connection is gone; so is the transaction.
        }
        throw;
    }
    try {
        session.endTransaction(true);
    } catch (const DbError &error) {
        // The server refused the commit (a constraint checked only then, a cancel that came
        // late): nothing of the statement was written, and its rows are taken out of the
        // record. A commit that may have gone through (the connection was lost) keeps them:
        // an undo restores only rows that still hold what the run wrote.
        if (refusedByServer(error))
            recorder_->forget();
        throw;
    }
}

WriteResult ChunkWriter::write(DbSession &session, const WriteJob &job)
{
    // Refused values and conflicts are retried, tried row by row or halved below: none of
    // them ends the run.
    const ExpectedFailure refusals(ConcernsOneValue);
    const qsizetype pairs = job.pairs.olds.size();
    WriteResult result;
    std::optional<DbError> refusal; // of the whole chunk as one statement
    try {
        try {
            withRetries([&] {
                WriteResult attempt;
                writeWhole(session, job, 0, pairs, attempt);
                result = std::move(attempt);
            });
            return result;
        } catch (const DbError &error) {
            if (!ConcernsOneValue(error))
                throw;
            refusal = error;
        }
        // Some value is refused. The server tries the chunk's rows one by one in a single
        // statement and names the refused ones; where it cannot, the pairs are halved until
        // each refused value stands alone.
        try {
            bool done = false;
            withRetries([&] {
                WriteResult attempt;
                done = writeRowByRow(session, job, attempt);
                if (done)
                    result = std::move(attempt);
            });
            if (done)
                return result;
        } catch (const DbError &error) {
            if (!ConcernsOneValue(error))
                throw;
        }
        result = WriteResult();
        writeHalves(session, job, 0, pairs, *refusal, result);
    } catch (const DbError &error) {
        result.failure = error;
    }
    return result;
}

// One statement for pairs [from, to): it writes every row that matches or none, and returns
// the pair of each row it wrote (with the row's identity, for the journal), by which the
// pairs that found fewer rows than were read are known.
void ChunkWriter::writeWhole(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                             WriteResult &result)
{
    const PreparedChunk &pairs = job.pairs;
    const bool whole = from == 0 && to == pairs.olds.size();
    const QString &delimiter = pairs.delimiter;
    const WriteTarget &target = job.target;
    const QString range =
        job.range ? RangeSql(job.range->first, job.range->second) : QStringLiteral("true");
    const bool recording = recorder_ && !target.identity.isEmpty();
    const QString sql =
        QStringLiteral(
            "WITH v AS MATERIALIZED (SELECT * FROM unnest(string_to_array(?, ?),"
            " string_to_array(?, ?)) WITH ORDINALITY AS v(o, n, i)),"
            " w AS (UPDATE %1 AS t SET %2 = CAST(v.n AS %3) FROM v WHERE %4 AND %5 AND %6"
            " RETURNING v.i, %7 AS id)"
            " SELECT string_agg(i::text, ','), %8 FROM w")
            .arg(target.relation, target.field, target.typeSql, range, condition(target.filter),
                 target.match, recording ? target.identity : QStringLiteral("NULL::text"),
                 recording ? QStringLiteral("array_agg(id)::text") : QStringLiteral("NULL"));
    recorded(session, [&] {
        QSqlQuery query = session.exec(
            sql,
            {whole ? pairs.oldJoined : pairs.olds.mid(from, to - from).join(delimiter), delimiter,
             whole ? pairs.newJoined : pairs.news.mid(from, to - from).join(delimiter), delimiter});
        if (!query.next())
            return;
        const QString indices = query.value(0).toString();
        QList<qsizetype> rows; // the pair of each row
        for (const QStringView index : QStringView(indices).split(u',', Qt::SkipEmptyParts)) {
            const qsizetype i = from + index.toLongLong() - 1;
            if (i < from || i >= to)
                throw DbError(QStringLiteral("The rows written could not be told apart."));
            rows.push_back(i);
        }
        QList<QString> identities;
        if (recording && !rows.isEmpty() &&
            (!ParseTextArray(query.value(1).toString(), identities) ||
             identities.size() != rows.size()))
            throw DbError(QStringLiteral("The identities of the rows written could not be "
                                         "taken apart."));
        takeWritten(job, from, to, rows, identities, {}, result);
    });
}

// Takes in the rows a statement wrote for pairs [from, to), each by its pair and, when it is
// recorded, its identity: the journal records them, and a pair that was not refused and found
// fewer rows than were read is missing the rest.
void ChunkWriter::takeWritten(const WriteJob &job, qsizetype from, qsizetype to,
                              const QList<qsizetype> &rows, const QList<QString> &identities,
                              const QList<QString> &refusals, WriteResult &result)
{
    const PreparedChunk &pairs = job.pairs;
    if (!identities.isEmpty()) {
        QList<QString> olds, news;
        olds.reserve(rows.size());
        news.reserve(rows.size());
        for (const qsizetype i : rows) {
            olds.push_back(pairs.olds[i]);
            news.push_back(pairs.news[i]);
        }
        recorder_->record(job.target, identities, olds, news);
    }
    result.rowsWritten += rows.size();
    QList<qint64> written(to - from, 0);
    for (const qsizetype i : rows)
        ++written[i - from];
    for (qsizetype i = from; i < to; ++i) {
        const QString refusal = refusals.value(i - from);
        if (!refusal.isNull())
            result.refused.push_back({pairs.olds[i], refusal});
        else if (written[i - from] < pairs.counts[i])
            result.missing.push_back(
                {pairs.olds[i], pairs.news[i], pairs.counts[i] - written[i - from]});
    }
}

// A function of the session's own temporary schema, made once per target, tries each row of
// the chunk under its own exception block: the rows that can be written are, and the refused
// ones are named with the server's text. Deadlocks and cancellations still end the statement.
// Its name; empty when it cannot be made (no right to temporary objects).
QString ChunkWriter::rowFunction(DbSession &session, const WriteTarget &target,
                                 const QString &identity)
{
    const QString key = QStringList{target.relation, target.filter, target.field,
                                    target.typeSql,  target.match,  identity}
                            .join(QChar(0));
    QString function = rowFunctions_.value(key);
    if (!function.isEmpty())
        return function;
    function = QStringLiteral("pg_temp.recasor_rows_%1").arg(rowFunctions_.size() + 1);
    const QString filter = condition(target.filter);
    try {
        // The function's own names never meet the table's fields: its parameters are used by
        // position, the row's values reach the UPDATE through a derived table, and every field
        // is named through its table.
        session.execute(
            QStringLiteral(
                "CREATE OR REPLACE FUNCTION %1(text[], text[], tid, tid)"
                " RETURNS TABLE(i bigint, message text, id text) LANGUAGE plpgsql"
                " AS $recasor$"
                " #variable_conflict use_column\n"
                " DECLARE p record; BEGIN"
                " FOR p IN SELECT t.ctid AS c, v.o, v.n, v.i FROM %2 AS t,"
                " unnest($1, $2) WITH ORDINALITY AS v(o, n, i)"
                " WHERE t.ctid >= $3 AND t.ctid < $4 AND %3 AND %4 LOOP"
                " BEGIN"
                " UPDATE %2 AS t SET %5 = CAST(v.n AS %6)"
                " FROM (SELECT p.c, p.o, p.n) AS v(c, o, n) WHERE t.ctid = v.c AND %3 AND %4"
                " RETURNING %7 INTO id;"
                " IF FOUND THEN i := p.i; message := NULL; RETURN NEXT; END IF;"
                " EXCEPTION WHEN OTHERS THEN"
                " IF SQLSTATE IN ('40P01', '40001', '57014') THEN RAISE; END IF;"
                " i := p.i; message := 'ERROR: ' || SQLERRM; id := NULL; RETURN NEXT;"
                " END; END LOOP; END $recasor$")
                .arg(function, target.relation, filter, target.match, target.field, target.typeSql,
                     identity));
    } catch (const DbError &error) {
        if (error.sqlState() == QLatin1String("42501") || ConcernsOneValue(error))
            return QString();
        throw;
    }
    rowFunctions_.insert(key, function);
    return function;
}

// The chunk's rows tried one by one in a single statement, by the row function; false when
// there is none.
bool ChunkWriter::writeRowByRow(DbSession &session, const WriteJob &job, WriteResult &result)
{
    const WriteTarget &target = job.target;
    const bool recording = recorder_ && !target.identity.isEmpty();
    const QString function =
        rowFunction(session, target, recording ? target.identity : QStringLiteral("NULL::text"));
    if (function.isEmpty())
        return false;
    const PreparedChunk &pairs = job.pairs;
    const QString low = job.range ? job.range->first : QStringLiteral("(0,0)");
    const QString high = job.range ? job.range->second : QStringLiteral("(4294967295,0)");
    recorded(session, [&] {
        QSqlQuery query = session.exec(
            QStringLiteral("SELECT i, message, id FROM %1(string_to_array(?, ?),"
                           " string_to_array(?, ?), ?::tid, ?::tid)")
                .arg(function),
            {pairs.oldJoined, pairs.delimiter, pairs.newJoined, pairs.delimiter, low, high});
        QList<QString> refusals(pairs.olds.size());
        QList<qsizetype> rows; // the pair of each row written
        QList<QString> identities;
        while (query.next()) {
            const qsizetype i = query.value(0).toLongLong() - 1;
            if (i < 0 || i >= pairs.olds.size())
                continue;
            if (!query.value(1).isNull()) {
                if (refusals[i].isNull())
                    refusals[i] = query.value(1).toString();
                continue;
            }
            rows.push_back(i);
            if (recording)
                identities.push_back(query.value(2).toString());
        }
        takeWritten(job, 0, pairs.olds.size(), rows, identities, refusals, result);
    });
    return true;
}

// Writes pairs [from, to), halving the range on a refusal until each refused value stands
// alone.
void ChunkWriter::writeHalving(DbSession &session, const WriteJob &job, qsizetype from,
                               qsizetype to, WriteResult &result)
{
    if (from >= to)
        return;
    try {
        withRetries([&] {
            WriteResult attempt;
            writeWhole(session, job, from, to, attempt);
            result.rowsWritten += attempt.rowsWritten;
            result.missing += attempt.missing;
        });
        return;
    } catch (const DbError &error) {
        if (!ConcernsOneValue(error))
            throw;
        writeHalves(session, job, from, to, error, result);
    }
}

// Pairs [from, to), which the server refused as one statement with that failure: a lone pair is
// the refused value, more are written half by half.
void ChunkWriter::writeHalves(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                              const DbError &failure, WriteResult &result)
{
    if (to - from == 1) {
        result.refused.push_back({job.pairs.olds[from], failure.text()});
        return;
    }
    const qsizetype middle = from + (to - from) / 2;
    writeHalving(session, job, from, middle, result);
    writeHalving(session, job, middle, to, result);
}
