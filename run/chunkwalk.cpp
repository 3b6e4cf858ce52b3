#include "run/chunkwalk.h"

qint64 ChunkWalk::totalBlocks() const
{
    qint64 total = 0;
    for (const StoredRelation &relation : relations_)
        total += relation.blocks;
    return total;
}

std::optional<PassChunk> ChunkWalk::next(qint64 blocks)
{
    while (index_ < relations_.size() && position_ >= relations_[index_].blocks) {
        ++index_;
        position_ = 0;
    }
    if (index_ == relations_.size())
        return std::nullopt;
    const StoredRelation &relation = relations_[index_];
    const qint64 end = qMin(relation.blocks, position_ + blocks);
    const PassChunk chunk{&relation, position_, 0, end, end - position_};
    position_ = end;
    return chunk;
}
