// How a walk over a table's physical blocks sizes its chunks: it starts small, doubles while a
// chunk stays short, and shrinks when one takes long or brings much text, so that one statement
// never reads more than a small part of the table and progress and Stop stay prompt. The values
// are those of the change run; whatever reads the way a run does takes them from here.
#pragma once

#include <QtGlobal>

namespace ChunkSizing {

inline constexpr qint64 FirstBlocks = 16;
inline constexpr qint64 MaxBlocks = 1 << 10;
inline constexpr qint64 TargetMs = 250;
inline constexpr qint64 TargetBytes = 1 << 19; // text read per chunk, in UTF-16 bytes
// The most a chunk of a run reads of its range's values, in the server's bytes; a range that
// holds more is read in parts. Chunks aim at half of it, so that only a range of values longer
// than its neighbours' is read in parts.
inline constexpr qint64 RangeBudget = 1 << 20;
inline constexpr qint64 TargetRangeBytes = RangeBudget / 2;

// The next chunk's size in blocks after a chunk of that many blocks took that long, brought
// that much text and held values of that many of the server's bytes in its range (0 for what
// the walk does not measure).
inline qint64 NextBlocks(qint64 blocks, qint64 elapsedMs, qint64 bytesRead, qint64 rangeBytes = 0)
{
    qint64 next = blocks * 2;
    if (elapsedMs > 0)
        next = qMin(next, blocks * TargetMs / elapsedMs);
    if (bytesRead > 0)
        next = qMin(next, blocks * TargetBytes / bytesRead);
    if (rangeBytes > 0)
        next = qMin(next, blocks * TargetRangeBytes / rangeBytes);
    return qBound<qint64>(1, next, MaxBlocks);
}

} // namespace ChunkSizing
