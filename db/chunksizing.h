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

// The next chunk's size in blocks after a chunk of that many blocks took that long and brought
// that much text (0 when the walk reads none).
inline qint64 NextBlocks(qint64 blocks, qint64 elapsedMs, qint64 bytesRead)
{
    qint64 next = blocks * 2;
    if (elapsedMs > 0)
        next = qMin(next, blocks * TargetMs / elapsedMs);
    if (bytesRead > 0)
        next = qMin(next, blocks * TargetBytes / bytesRead);
    return qBound<qint64>(1, next, MaxBlocks);
}

} // namespace ChunkSizing
