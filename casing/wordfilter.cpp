// Building the filters of the listed words' first runs.
#include "casing/wordfilter.h"

#include <algorithm>

void WordFilter::add(const char16_t *low, qsizetype firstRun, qsizetype length)
{
    const quint64 key = firstRun ? RunKey(low, firstRun) : EmptyRunKey(low[0]);
    if (coarse_.empty())
        coarse_.assign((1 << CoarseBits) / 64, 0);
    const quint32 slot = CoarseSlot(key);
    coarse_[slot / 64] |= quint64(1) << (slot % 64);
    startsWithOtherCharacter_ = startsWithOtherCharacter_ || firstRun == 0;
    if (firstRun == length)
        return;
    if (lengths_.empty())
        lengths_.assign(size_t(1) << LengthBits, 0);
    quint64 &lengths = lengths_[LengthSlot(key)];
    if (length < 64) {
        lengths |= quint64(1) << (length - 1);
    } else {
        lengths |= quint64(1) << 63;
        longLengths_.push_back(qint32(length));
    }
}

void WordFilter::finish()
{
    std::sort(longLengths_.begin(), longLengths_.end());
    longLengths_.erase(std::unique(longLengths_.begin(), longLengths_.end()), longLengths_.end());
}
