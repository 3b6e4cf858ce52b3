// A hash table of listed words by their units lower-cased, with open addressing: a list keeps its
// words of one run ("McDonald", "USA") in one and its other words ("O'Neil", "van der Berg") in
// another. It keeps each word lower-cased and as listed. No two of its words are the same once
// lower-cased, as a cleaned list has none.
#pragma once

#include "casing/eightunits.h"

#include <QtGlobal>
#include <algorithm>
#include <bit>
#include <vector>

class WordTable
{
public:
    // A word in the table: what a match needs, in one place.
    struct Entry {
        quint64 key = 0;    // the hash of the word lower-cased; 0 for a free place
        EightUnits folded;  // its first eight units lower-cased
        EightUnits spelled; // and as listed; zeros after the word
        qint32 units = 0;   // in units_: the whole word lower-cased, then as listed
        qint32 length = 0;
    };

    WordTable() = default;
    // A table for this many words.
    explicit WordTable(qsizetype words);

    // Adds the word of length units, lower-cased at low and as listed at spelling, both with
    // EightUnits::Padding units after them.
    void insert(const char16_t *low, const char16_t *spelling, qsizetype length);

    // The word that the length units at low are, once lower-cased, if any. low has
    // EightUnits::Padding units after them.
    const Entry *find(const char16_t *low, qsizetype length) const;

    // A word's spelling, whole.
    const char16_t *spelling(const Entry &entry) const
    {
        return units_.data() + entry.units + entry.length;
    }

private:
    static quint64 Mix(quint64 h, EightUnits head)
    {
        return ((h ^ head.first) * 0xFF51AFD7ED558CCDull) ^ (head.second * 0xC4CEB9FE1A85EC53ull);
    }

    // The hash of a run by its lower-cased units: every unit counts, so that words that begin
    // and end alike ("McAlister", "McAllen") are told apart before they are compared. Its top
    // bit is set, as a hash of 0 marks a free place; the bits below it are well mixed.
    static quint64 Hash(const char16_t *low, qsizetype length)
    {
        quint64 h = quint64(length) * 0x9E3779B97F4A7C15ull;
        for (; length > 8; length -= 8, low += 8)
            h = Mix(h, EightUnits::Of(low, 8));
        return Mix(h, EightUnits::Of(low, length)) | quint64(1) << 63;
    }

    // The first place for a hash: the bits below its top bit.
    size_t firstPlace(quint64 hash) const
    {
        return size_t(hash << 1 >> (64 - std::countr_zero(entries_.size())));
    }

    size_t nextPlace(size_t place) const { return (place + 1) & (entries_.size() - 1); }

    std::vector<Entry> entries_;
    std::vector<char16_t> units_; // the words lower-cased and as listed
};

// The first word that matches is the one, as no two are the same once lower-cased.
inline const WordTable::Entry *WordTable::find(const char16_t *low, qsizetype length) const
{
    const quint64 hash = Hash(low, length);
    const EightUnits head = EightUnits::Of(low, std::min<qsizetype>(length, 8));
    for (size_t place = firstPlace(hash); entries_[place].key; place = nextPlace(place)) {
        const Entry &entry = entries_[place];
        if (entry.key == hash && entry.length == length && entry.folded == head &&
            (length <= 8 || std::equal(low + 8, low + length, units_.data() + entry.units + 8)))
            return &entry;
    }
    return nullptr;
}
