#include "db/chunkreader.h"

#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QVariant>

ChunkReader::ChunkReader(const ConnectionSettings &settings, int loginTimeout)
    : thread_([this, settings, loginTimeout] { loop(settings, loginTimeout); })
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
        values_.reset();
    }
    changed_.notify_all();
}

QList<QString> ChunkReader::take()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return values_.has_value() || error_.has_value(); });
    if (error_)
        throw *error_;
    QList<QString> values = std::move(*values_);
    values_.reset();
    return values;
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
        std::optional<DbError> failure;
        try {
            QSqlQuery query = session->exec(sql);
            if (query.next() && !query.value(0).isNull() &&
                !ParseTextArray(query.value(0).toString(), values))
                failure = DbError(QStringLiteral("The values read could not be taken apart."));
        } catch (const DbError &error) {
            failure = error;
        }
        {
            std::lock_guard lock(mutex_);
            if (failure)
                error_ = std::move(failure);
            else
                values_ = std::move(values);
        }
        changed_.notify_all();
        if (failure)
            return;
    }
}
