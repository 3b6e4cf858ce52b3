// Building a table of listed words.
#include "casing/wordtable.h"

// At most half full, so that a search for a run that is no word soon meets a free place.
WordTable::WordTable(qsizetype words) : entries_(size_t(1) << std::bit_width(size_t(words) * 2 + 1))
{
}

void WordTable::insert(const char16_t *low, const char16_t *spelling, qsizetype length)
{
    const qsizetype head = std::min<qsizetype>(length, 8);
    const Entry entry{Hash(low, length), EightUnits::Of(low, head), EightUnits::Of(spelling, head),
                      qint32(units_.size()), qint32(length)};
    // The lower-cased units and the spelling, whole, for words longer than eight.
    units_.insert(units_.end(), low, low + length);
    units_.insert(units_.end(), spelling, spelling + length);
    size_t place = firstPlace(entry.key);
    while (entries_[place].key)
        place = nextPlace(place);
    entries_[place] = entry;
}
