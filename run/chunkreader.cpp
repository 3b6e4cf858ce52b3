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

// The statements of a run are short: compiling them to machine code costs more than it saves.
ChunkReader::ChunkReader(const ConnectionSettings &settings, int loginTimeout, CaseMode mode,
                         std::shared_ptr<const WordExceptions> words, CancelGroup &cancel)
    : mode_(mode), words_(std::move(words)),
      worker_(settings, DbSession::Options{loginTimeout, 0, true, true},
              {QStringLiteral("SET jit = off")}, &cancel)
{
}

void ChunkReader::request(ReadRequest request)
{
    worker_.submit([this, request = std::move(request)](DbSession &session) {
        if (failure_)
            throw *failure_;
        try {
            result_ = read(session, request);
        } catch (const DbError &error) {
            failure_ = error;
            throw;
        }
    });
}

PreparedChunk ChunkReader::take()
{
    worker_.wait();
    return std::exchange(result_, PreparedChunk());
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

PreparedChunk ChunkReader::read(DbSession &session, const ReadRequest &request)
{
    // A pass reads in the snapshot taken at its start: a row that another client moves
    // meanwhile is still read once, where it stood.
    if (request.snapshot != snapshot_) {
        if (!snapshot_.isEmpty())
            session.execute(QStringLiteral("COMMIT"));
        snapshot_.clear();
        // The driver frees a statement's server-side plan with a DEALLOCATE sent just before
        // the next statement, and the snapshot must come before any statement of the
        // transaction: the BEGIN is kept until the snapshot is set.
        const QSqlQuery begin =
            session.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        session.execute(QStringLiteral("SET TRANSACTION SNAPSHOT ") +
                        QuoteLiteral(request.snapshot));
        snapshot_ = request.snapshot;
    }
    QList<QString> values;
    qint64 rows = 0, rangeBytes = 0;
    bool cut = false;
    QString last;
    QSqlQuery query = session.exec(request.sql);
    if (query.next()) {
        rows = query.value(0).toLongLong();
        last = query.value(2).toString();
        cut = query.value(3).toBool();
        rangeBytes = query.value(4).toLongLong();
        if (!query.value(1).isNull() && !ParseTextArray(query.value(1).toString(), values))
            throw DbError(QStringLiteral("The values read could not be taken apart."));
    }
    PreparedChunk prepared = prepare(rows, values, request.arrays);
    prepared.rangeBytes = rangeBytes;
    if (cut) {
        // "(block,offset)"
        const QStringList parts = last.mid(1, last.size() - 2).split(u',');
        prepared.cut = parts.size() == 2;
        prepared.lastBlock = parts.value(0).toLongLong();
        prepared.lastOffset = parts.value(1).toInt();
    }
    return prepared;
}
