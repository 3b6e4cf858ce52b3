#include "run/chunkreader.h"

#include "casing/wordexceptions.h"
#include "db/arraytext.h"
#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QHash>
#include <QVariant>

void PreparedChunk::join()
{
    delimiter = UnusedDelimiter(olds + news);
    oldJoined = olds.join(delimiter);
    newJoined = news.join(delimiter);
}

ChunkReader::ChunkReader(const ConnectionSettings &settings, int loginTimeout, CaseMode mode,
                         std::shared_ptr<const WordExceptions> words, CancelGroup &cancel)
    : mode_(mode), words_(std::move(words)), cancel_(cancel),
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

void ChunkReader::request(ReadRequest request)
{
    {
        std::lock_guard lock(mutex_);
        request_ = std::move(request);
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

QString ChunkReader::Convert(CaseMode mode, const WordExceptions *words, const QString &value,
                             bool array)
{
    if (!array)
        return ApplyCaseMode(mode, value, words);
    return ApplyCaseModeToArrayText(mode, value, words).value_or(value);
}

PreparedChunk ChunkReader::prepare(qint64 rows, const QList<QString> &values, bool arrays) const
{
    PreparedChunk chunk;
    chunk.rowsRead = rows;
    // Each distinct value is converted once; -1 marks one the rule leaves as it is.
    QHash<QString, qsizetype> seen;
    seen.reserve(values.size());
    for (const QString &old : values) {
        chunk.bytesRead += old.size() * 2;
        const auto known = seen.constFind(old);
        if (known != seen.cend()) {
            if (*known >= 0) {
                ++chunk.counts[*known];
                ++chunk.valuesChanged;
            }
            continue;
        }
        QString converted = Convert(mode_, words_.get(), old, arrays);
        if (converted == old) {
            seen.insert(old, -1);
            continue;
        }
        seen.insert(old, chunk.olds.size());
        ++chunk.valuesChanged;
        chunk.add(old, std::move(converted), 1);
    }
    chunk.join();
    return chunk;
}

void ChunkReader::loop(ConnectionSettings settings, int loginTimeout)
{
    std::optional<DbSession> session;
    std::optional<CancelMembership> membership;
    QString snapshot;
    try {
        // The statements of a run are short: compiling them to machine code costs more than
        // it saves.
        session.emplace(settings, DbSession::Options{loginTimeout, 0, true, true});
        membership.emplace(cancel_, *session);
        session->execute(QStringLiteral("SET jit = off"));
    } catch (const DbError &error) {
        membership.reset();
        std::lock_guard lock(mutex_);
        error_ = error;
        changed_.notify_all();
        return;
    }
    while (true) {
        ReadRequest request;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || request_.has_value(); });
            if (quit_)
                return;
            request = std::move(*request_);
            request_.reset();
        }
        QList<QString> values;
        qint64 rows = 0;
        bool cut = false;
        qint64 rangeBytes = 0;
        QString last;
        std::optional<DbError> failure;
        try {
            // A pass reads in the snapshot taken at its start: a row that another client moves
            // meanwhile is still read once, where it stood.
            if (request.snapshot != snapshot) {
                if (!snapshot.isEmpty())
                    session->execute(QStringLiteral("COMMIT"));
                snapshot.clear();
                // The driver frees a statement's server-side plan with a DEALLOCATE sent just
                // before the next statement, and the snapshot must come before any statement
                // of the transaction: the BEGIN is kept until the snapshot is set.
                const QSqlQuery begin = session->exec(
                    QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
                session->execute(QStringLiteral("SET TRANSACTION SNAPSHOT ") +
                                 QuoteLiteral(request.snapshot));
                snapshot = request.snapshot;
            }
            QSqlQuery query = session->exec(request.sql);
            if (query.next()) {
                rows = query.value(0).toLongLong();
                last = query.value(2).toString();
                cut = query.value(3).toBool();
                rangeBytes = query.value(4).toLongLong();
                if (!query.value(1).isNull() && !ParseTextArray(query.value(1).toString(), values))
                    failure = DbError(QStringLiteral("The values read could not be taken apart."));
            }
        } catch (const DbError &error) {
            failure = error;
        }
        std::optional<PreparedChunk> prepared;
        if (!failure) {
            prepared = prepare(rows, values, request.arrays);
            prepared->rangeBytes = rangeBytes;
            if (cut) {
                // "(block,offset)"
                const QStringList parts = last.mid(1, last.size() - 2).split(u',');
                prepared->cut = parts.size() == 2;
                prepared->lastBlock = parts.value(0).toLongLong();
                prepared->lastOffset = parts.value(1).toInt();
            }
        }
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
