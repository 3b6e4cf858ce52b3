// The walk by key of a change run: a table of the tree without block ranges here (a foreign
// table, whose rows live on another server) is read in ranges of its key through this server
// and written by its key, with the same guarantees as the walk by blocks. A remote server that
// fails ends that table only, and the run says how many of its rows it left.
#pragma once

#include "run/changerun.h"
#include "run/chunkreader.h"
#include "run/chunkwriter.h"
#include "run/passstatements.h"

#include <functional>
#include <optional>

class CancelGroup;
class DbSession;

class KeyPass
{
public:
    // What the run does with a chunk: the rows of a prepared chunk to write (none when nothing
    // is), a writer's result taken in, and the progress of that many rows.
    struct Steps {
        std::function<std::optional<WriteRows>(PreparedChunk)> rowsToWrite;
        std::function<void(const WriteResult &)> takeResult;
        std::function<void(qint64)> rowsDone;
    };

    KeyPass(DbSession &session, const PassStatements &statements, const QList<PassField> &fields,
            const CancelGroup &cancel, Steps steps)
        : session_(session), statements_(statements), fields_(fields), cancel_(cancel),
          steps_(std::move(steps))
    {
    }

    // Walks the relation, whose rows were counted before (-1 when they could not be, for the
    // reason given), with the reader and the writers, which have nothing in hand. Returns what it
    // left of the relation; none when it reached every row. Throws RunStopped, and RunFailure for
    // a failure of the whole run (the journal).
    std::optional<RelationLeft> walk(const KeyedRelation &relation, qint64 rows,
                                     const QString &countFailure, ChunkReader &reader,
                                     ChunkWriter (&writers)[2]);

private:
    struct Writing {
        qint64 rows = 0; // of the chunk the writer has in hand, if any
        bool busy = false;
    };

    std::optional<KeyChunk> nextRange(KeyWalk &walk, const KeyedRelation &relation);
    bool crowdedAt(const KeyedRelation &relation, const KeyChunk &chunk);
    void collect(ChunkWriter &writer, Writing &writing);
    void finishInHand(ChunkReader &reader, bool reading, ChunkWriter (&writers)[2],
                      Writing (&writing)[2]);
    void failed(const DbError &error);

    DbSession &session_;
    const PassStatements &statements_;
    const QList<PassField> &fields_;
    const CancelGroup &cancel_;
    const Steps steps_;
    qint64 done_ = 0;     // rows of the present relation whose chunk was written
    qint64 nullRows_ = 0; // rows with a NULL in the key, which no key finds
};
