#include "db/chunkwriter.h"

#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QSqlQuery>
#include <QVariant>

ChunkWriter::ChunkWriter(const ConnectionSettings &settings, int timeout, const QStringList &setup)
    : thread_([this, settings, timeout, setup] { loop(settings, timeout, setup); })
{
}

ChunkWriter::~ChunkWriter()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ChunkWriter::submit(WriteJob job)
{
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        result_.reset();
    }
    changed_.notify_all();
}

WriteResult ChunkWriter::wait()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return result_.has_value() || sessionFailure_.has_value(); });
    if (!result_) {
        WriteResult failed;
        failed.failure = sessionFailure_;
        return failed;
    }
    WriteResult result = std::move(*result_);
    result_.reset();
    return result;
}

bool ChunkWriter::concernsOneValue(const DbError &error)
{
    // Data exceptions, integrity constraints, errors raised by triggers and functions, and
    // conflicts with other transactions. Anything else (no connection, no privilege, a
    // read-only server, a cancelled statement, an unknown code) concerns the whole run.
    static const QStringList valueClasses = {
        QStringLiteral("09"), QStringLiteral("21"), QStringLiteral("22"), QStringLiteral("23"),
        QStringLiteral("27"), QStringLiteral("2F"), QStringLiteral("38"), QStringLiteral("39"),
        QStringLiteral("40"), QStringLiteral("44"), QStringLiteral("P0")};
    return error.sqlState().size() == 5 && valueClasses.contains(error.sqlState().left(2));
}

void ChunkWriter::loop(ConnectionSettings settings, int timeout, QStringList setup)
{
    std::optional<DbSession> session;
    try {
        session.emplace(settings, DbSession::Options{timeout, timeout});
        for (const QString &statement : setup)
            session->execute(statement);
    } catch (const DbError &error) {
        std::lock_guard lock(mutex_);
        sessionFailure_ = error;
        changed_.notify_all();
        // Jobs are still taken, so that submit() and wait() keep their rhythm; wait()
        // reports the failure.
        session.reset();
    }
    while (true) {
        WriteJob job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || job_.has_value(); });
            if (quit_ && !job_)
                return;
            job = std::move(*job_);
            job_.reset();
        }
        if (!session)
            continue;
        WriteResult result = write(*session, job);
        {
            std::lock_guard lock(mutex_);
            result_ = std::move(result);
        }
        changed_.notify_all();
    }
}

// Each statement commits on its own: one statement changes all the rows it matches or none,
// so nothing is ever half-written, and a failed statement leaves nothing to roll back. (Own
// savepoints inside a transaction would meet the driver's, which it sets around each statement
// and keeps account of itself.)
WriteResult ChunkWriter::write(DbSession &session, const WriteJob &job)
{
    WriteResult result;
    try {
        if (!writeRange(session, job, 0, job.pairs.olds.size(), result, false)) {
            // The new texts that the field's type rejects are found with one statement, not
            // by halving: a column whose values the rule cannot give back to the type (bytea
            // in capitals) would otherwise cost two statements per value. Whatever else the
            // server refuses is then found by halving.
            const WriteJob rest =
                job.castType.isEmpty() ? job : withoutRejected(session, job, result);
            writeRange(session, rest, 0, rest.pairs.olds.size(), result, true);
        }
    } catch (const DbError &error) {
        result.failure = error;
    }
    return result;
}

WriteJob ChunkWriter::withoutRejected(DbSession &session, const WriteJob &job, WriteResult &result)
{
    // A function of the session's own temporary schema tries each text. Without the privilege
    // to make it, the values are found by halving.
    static const QString function = QStringLiteral(
        "CREATE OR REPLACE FUNCTION pg_temp.recasor_rejected(texts text[], type text)"
        " RETURNS TABLE(i integer, message text) LANGUAGE plpgsql AS $$"
        " DECLARE k integer; BEGIN"
        " FOR k IN 1 .. coalesce(array_length(texts, 1), 0) LOOP"
        " BEGIN EXECUTE format('SELECT CAST($1 AS %s)', type) USING texts[k];"
        " EXCEPTION WHEN OTHERS THEN i := k; message := 'ERROR: ' || SQLERRM; RETURN NEXT; END;"
        " END LOOP; END $$");
    QList<bool> rejected(job.pairs.olds.size(), false);
    try {
        session.execute(function);
        QSqlQuery found =
            session.exec(QStringLiteral("SELECT i, message FROM pg_temp.recasor_rejected("
                                        "string_to_array(%1, %2), %3)")
                             .arg(QuoteLiteral(job.pairs.newJoined),
                                  QuoteLiteral(job.pairs.delimiter), QuoteLiteral(job.castType)));
        while (found.next()) {
            const qsizetype k = found.value(0).toLongLong() - 1;
            if (k >= 0 && k < rejected.size() && !rejected[k]) {
                rejected[k] = true;
                result.refused.push_back({job.pairs.olds[k], found.value(1).toString()});
            }
        }
    } catch (const DbError &error) {
        if (!concernsOneValue(error) && error.sqlState() != QLatin1String("42501"))
            throw;
    }
    WriteJob rest = job;
    rest.pairs.dropPairs([&](qsizetype k) { return rejected[k]; });
    return rest;
}

// Writes pairs [from, to); on a failure that concerns values, halves the range until each
// refused value stands alone, or, when halving is not asked for, returns false and leaves the
// values to the caller.
bool ChunkWriter::writeRange(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                             WriteResult &result, bool halve)
{
    if (from >= to)
        return true;
    const PreparedChunk &pairs = job.pairs;
    const bool whole = from == 0 && to == pairs.olds.size();
    const QString &delimiter = pairs.delimiter;
    const QString oldJoined =
        whole ? pairs.oldJoined : pairs.olds.mid(from, to - from).join(delimiter);
    const QString newJoined =
        whole ? pairs.newJoined : pairs.news.mid(from, to - from).join(delimiter);
    try {
        result.rowsWritten +=
            session.execute(job.sql, {oldJoined, delimiter, newJoined, delimiter});
        return true;
    } catch (const DbError &error) {
        if (!concernsOneValue(error))
            throw;
        if (!halve)
            return false;
        if (to - from == 1) {
            result.refused.push_back({pairs.olds[from], error.text()});
            return false;
        }
    }
    const qsizetype middle = from + (to - from) / 2;
    writeRange(session, job, from, middle, result, true);
    writeRange(session, job, middle, to, result, true);
    return false;
}
