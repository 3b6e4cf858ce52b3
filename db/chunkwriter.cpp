#include "db/chunkwriter.h"

#include "db/dbsession.h"

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

WriteResult ChunkWriter::write(DbSession &session, const WriteJob &job)
{
    WriteResult result;
    try {
        session.begin();
        writeRange(session, job, 0, job.pairs.olds.size(), result);
        session.commit();
    } catch (const DbError &error) {
        try {
            session.rollback();
        } catch (const DbError &) {
            // The connection is gone; the server rolls the open transaction back itself.
        }
        result = WriteResult();
        result.failure = error;
    }
    return result;
}

// Writes pairs [from, to); on a failure that concerns values, halves the range under
// savepoints until each refused value stands alone.
void ChunkWriter::writeRange(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                             WriteResult &result)
{
    const PreparedChunk &pairs = job.pairs;
    const bool whole = from == 0 && to == pairs.olds.size();
    const QString &delimiter = pairs.delimiter;
    const QString oldJoined =
        whole ? pairs.oldJoined : pairs.olds.mid(from, to - from).join(delimiter);
    const QString newJoined =
        whole ? pairs.newJoined : pairs.news.mid(from, to - from).join(delimiter);

    session.execute(QStringLiteral("SAVEPOINT recasor_values"));
    try {
        result.rowsWritten +=
            session.execute(job.sql, {oldJoined, delimiter, newJoined, delimiter});
        session.execute(QStringLiteral("RELEASE SAVEPOINT recasor_values"));
        return;
    } catch (const DbError &error) {
        if (!concernsOneValue(error))
            throw;
        session.execute(QStringLiteral("ROLLBACK TO SAVEPOINT recasor_values"));
        if (to - from == 1) {
            result.refused.push_back({pairs.olds[from], error.text()});
            return;
        }
    }
    const qsizetype middle = from + (to - from) / 2;
    writeRange(session, job, from, middle, result);
    writeRange(session, job, middle, to, result);
}
