// The chunks of a pass, in order: the blocks of each table of the tree from its first, as many
// at a time as the pass asks for, so that the chunk size can follow how the last chunks went.
#pragma once

#include "run/passstatements.h"

#include <QList>
#include <optional>

class ChunkWalk
{
public:
    // The relations must outlive the walk: its chunks point at them.
    explicit ChunkWalk(const QList<StoredRelation> &relations) : relations_(relations) {}

    qint64 totalBlocks() const;
    // The next chunk of at most that many blocks; none at the end of the last relation.
    std::optional<PassChunk> next(qint64 blocks);

private:
    const QList<StoredRelation> &relations_;
    qsizetype index_ = 0;
    qint64 position_ = 0;
};
