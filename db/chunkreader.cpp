#include "db/chunkreader.h"

#include "casing/wordexceptions.h"
#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QSet>
#include <QVariant>

ChunkReader::ChunkReader(const ConnectionSettings &settings, int loginTimeout, CaseMode mode,
                         std::shared_ptr<const WordExceptions> words)
    : mode_(mode), words_(std::move(words)),
      thread_([this, settings, loginTimeout] { loop(settings, loginTimeout); })
{
}

ChunkReader::~ChunkReader()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ChunkReader::request(const QString &sql)
{
    {
        std::lock_guard lock(mutex_);
        request_ = sql;
        result_.reset();
    }
    changed_.notify_all();
}

PreparedChunk ChunkReader::take()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return result_.has_value() || error_.has_value(); });
    if (error_)
        throw *error_;
    PreparedChunk chunk = std::move(*result_);
    result_.reset();
    return chunk;
}

PreparedChunk ChunkReader::prepare(qint64 rows, const QList<QString> &values) const
{
    PreparedChunk chunk;
    chunk.rowsRead = rows;
    QSet<QString> seen;
    for (const QString &old : values) {
        chunk.bytesRead += old.size() * 2;
        QString converted = ApplyCaseMode(mode_, old, words_.get());
        if (converted == old)
            continue;
        ++chunk.valuesChanged;
        if (seen.contains(old))
            continue;
        seen.insert(old);
        chunk.olds.push_back(old);
        chunk.news.push_back(std::move(converted));
    }
    chunk.delimiter = UnusedDelimiter(chunk.olds + chunk.news);
    chunk.oldJoined = chunk.olds.join(chunk.delimiter);
    chunk.newJoined = chunk.news.join(chunk.delimiter);
    return chunk;
}

void ChunkReader::loop(ConnectionSettings settings, int loginTimeout)
{
    std::optional<DbSession> session;
    try {
        // The statements of a run are short: compiling them to machine code costs more than
        // it saves.
        session.emplace(settings, DbSession::Options{loginTimeout, 0});
        session->execute(QStringLiteral("SET jit = off"));
    } catch (const DbError &error) {
        std::lock_guard lock(mutex_);
        error_ = error;
        changed_.notify_all();
        return;
    }
    while (true) {
        QString sql;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || request_.has_value(); });
            if (quit_)
                return;
            sql = std::move(*request_);
            request_.reset();
        }
        QList<QString> values;
        qint64 rows = 0;
        std::optional<DbError> failure;
        try {
            QSqlQuery query = session->exec(sql);
            if (query.next()) {
                rows = query.value(0).toLongLong();
                if (!query.value(1).isNull() && !ParseTextArray(query.value(1).toString(), values))
                    failure = DbError(QStringLiteral("The values read could not be taken apart."));
            }
        } catch (const DbError &error) {
            failure = error;
        }
        std::optional<PreparedChunk> prepared;
        if (!failure)
            prepared = prepare(rows, values);
        {
            std::lock_guard lock(mutex_);
            if (failure)
                error_ = std::move(failure);
            else
                result_ = std::move(prepared);
        }
        changed_.notify_all();
        if (failure)
            return;
    }
}
