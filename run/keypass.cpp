#include "run/keypass.h"

#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/rowidentity.h"
#include "db/sqlquote.h"
#include "run/keywalk.h"
#include "run/runfailure.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

// A range of about this many rows: the remote server finds its end by the key's index, and
// the statement that writes it stays small.
constexpr qint64 KeyChunkRows = 10000;

// Rows that share a key are written one a statement each (a statement finds one row's values per
// key), and a chunk takes all the rows of the key at its end: a table with more rows to one key
// than this is not walked by it, rather than read whole or written row by row.
constexpr qint64 MaxRowsPerKey = 100;

const QString Crowded =
    QStringLiteral("more than %1 of its rows share one value of the key they are found by")
        .arg(MaxRowsPerKey);

// Whether more than MaxRowsPerKey of the rows share a key; they come in key order.
bool crowded(const QList<QString> &keys)
{
    qsizetype same = 1;
    for (qsizetype i = 1; i < keys.size(); ++i) {
        same = keys[i] == keys[i - 1] ? same + 1 : 1;
        if (same > MaxRowsPerKey)
            return true;
    }
    return false;
}

// A failure of the remote server, or of this one on its behalf, carries the server's state;
// one without (the journal could not be written) concerns the whole run.
bool concernsTheServer(const DbError &error)
{
    return !error.sqlState().isEmpty();
}

} // namespace

std::optional<RelationLeft> KeyPass::walk(const KeyedRelation &relation, qint64 rows,
                                          const QString &countFailure, ChunkReader &reader,
                                          ChunkWriter (&writers)[2])
{
    if (!countFailure.isEmpty())
        return RelationLeft{relation.sql, rows, countFailure};
    if (relation.key.size() != 1)
        return RelationLeft{relation.sql, rows,
                            relation.key.isEmpty()
                                ? QStringLiteral("it has no key to find its rows by")
                                : QStringLiteral("its key has more than one column")};
    done_ = 0;
    nullRows_ = 0;
    QList<bool> arrays;
    for (const PassField &field : fields_)
        arrays << field.array;
    const QList<KeyedRelation> one{relation};
    KeyWalk walk(one);
    Writing writing[2];
    bool reading = false;
    int w = 0;
    std::optional<DbError> failure;
    bool tooCrowded = false;
    try {
        // A range at whose end too many rows share the key is not read: it would take them all.
        const auto next = [&] {
            std::optional<KeyChunk> chunk = nextRange(walk, relation);
            if (chunk && chunk->sharedEnd && crowdedAt(relation, *chunk)) {
                tooCrowded = true;
                chunk.reset();
            }
            return chunk;
        };
        std::optional<KeyChunk> current = next();
        const auto request = [&](const KeyChunk &chunk) {
            reader.request({statements_.keyReadSql(fields_, chunk), QString(), arrays});
            reading = true;
        };
        if (current)
            request(*current);
        while (current) {
            reading = false;
            PreparedChunk prepared = reader.take();
            const qint64 chunkRows = prepared.rowsRead;
            if (crowded(prepared.rows.places)) {
                tooCrowded = true;
                break;
            }
            // The next range is found and read while this one is written.
            current = next();
            if (current)
                request(*current);
            if (cancel_.cancelled())
                throw RunStopped();
            w = 1 - w;
            collect(writers[w], writing[w]);
            if (std::optional<WriteRows> rows = steps_.rowsToWrite(std::move(prepared))) {
                writers[w].submit(WriteJob{statements_.keyTarget(fields_, relation), std::nullopt,
                                           std::move(*rows)});
                writing[w] = {chunkRows, true};
            } else {
                done_ += chunkRows;
                steps_.rowsDone(chunkRows);
            }
        }
        collect(writers[0], writing[0]);
        collect(writers[1], writing[1]);
    } catch (const DbError &error) {
        failure = error;
    } catch (const RunStopped &) {
        // A stop may come after a writer's rows are recorded and before its statement commits:
        // those rows count as written.
        finishInHand(reader, reading, writers, writing);
        throw;
    }
    if (failure) {
        // What is in hand is finished first: a writer's statement may still commit.
        finishInHand(reader, reading, writers, writing);
        failed(*failure);
        return RelationLeft{relation.sql, rows < 0 ? -1 : qMax<qint64>(0, rows - done_),
                            failure->text()};
    }
    if (tooCrowded)
        return RelationLeft{relation.sql, rows < 0 ? -1 : qMax<qint64>(0, rows - done_), Crowded};
    if (nullRows_ > 0)
        return RelationLeft{relation.sql, nullRows_,
                            QStringLiteral("these rows have no value in its key")};
    return std::nullopt;
}

// Waits for the read and the writes in hand; what the writers committed is taken in.
void KeyPass::finishInHand(ChunkReader &reader, bool reading, ChunkWriter (&writers)[2],
                           Writing (&writing)[2])
{
    if (reading) {
        try {
            reader.take();
        } catch (const DbError &) {
        }
    }
    for (int i : {0, 1}) {
        try {
            collect(writers[i], writing[i]);
        } catch (const DbError &) {
        }
    }
}

// The next range of the key; rows with a NULL in the key are counted, since no key finds them.
std::optional<KeyChunk> KeyPass::nextRange(KeyWalk &walk, const KeyedRelation &relation)
{
    std::optional<KeyChunk> chunk = walk.next(session_, KeyChunkRows);
    if (chunk && chunk->nulls) {
        QSqlQuery count = session_.exec(
            QStringLiteral("SELECT count(*) FROM ONLY %1 AS t WHERE %2 AND %3")
                .arg(relation.sql, chunk->conditionSql("t"), statements_.conditionSql()));
        if (count.next())
            nullRows_ += count.value(0).toLongLong();
        done_ += nullRows_;
        return walk.next(session_, KeyChunkRows);
    }
    return chunk;
}

// Whether more than MaxRowsPerKey rows share the key at the chunk's end, counted on the remote
// server up to one more than that.
bool KeyPass::crowdedAt(const KeyedRelation &relation, const KeyChunk &chunk)
{
    const RowIdentity key{relation.key};
    QSqlQuery count = session_.exec(
        QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM ONLY %1 AS t WHERE %2 LIMIT %3) AS q")
            .arg(relation.sql,
                 key.matchSql(QStringLiteral("t"), QuoteLiteral(chunk.through.first())))
            .arg(MaxRowsPerKey + 1));
    return count.next() && count.value(0).toLongLong() > MaxRowsPerKey;
}

// Takes in a writer's result, if it has a chunk in hand; a failure of the remote server is
// thrown for the walk to end the relation.
void KeyPass::collect(ChunkWriter &writer, Writing &writing)
{
    if (!writing.busy)
        return;
    writing.busy = false;
    WriteResult result = writer.wait();
    if (result.failure) {
        // Rows of the chunk another statement wrote before the failure were committed.
        WriteResult written;
        written.rowsWritten = result.rowsWritten;
        steps_.takeResult(written);
        throw *result.failure;
    }
    steps_.takeResult(result);
    done_ += writing.rows;
    steps_.rowsDone(writing.rows);
}

// A stop, or a failure of the whole run, ends the run; a failure of the server ends the
// relation.
void KeyPass::failed(const DbError &error)
{
    if (cancel_.cancelled())
        throw RunStopped();
    if (!concernsTheServer(error))
        throw RunFailure(error.text(), ChangeRunStep::Write);
}
