// The filters that rule out nearly every run of a text before a word table is looked at. A run
// of a text is looked up by a key of its length and its first, second and last units,
// lower-cased, which costs no work per character; the filters hold a bit per slot of the keys of
// the listed words' first runs and, for the words that are more than one run, the lengths such
// words have by the key of their first run.
#pragma once

#include <QtGlobal>
#include <bit>
#include <cstring>
#include <vector>

class WordFilter
{
public:
    // The key of a run by its lower-cased units: its length and its first, second and last
    // units, mixed by one multiplication. They tell runs apart well.
    static quint64 RunKey(const char16_t *low, qsizetype length)
    {
        constexpr quint32 FirstOfTwo =
            std::endian::native == std::endian::little ? 0xffffu : 0xffff0000u;
        quint32 firstTwo;
        std::memcpy(&firstTwo, low, sizeof firstTwo);
        firstTwo &= length > 1 ? ~0u : FirstOfTwo;
        return (quint64(length) << 48 | quint64(low[length - 1]) << 32 | firstTwo) *
               0xFF51AFD7ED558CCDull;
    }

    // A word that begins with a character that is not a word character has an empty first run,
    // and is looked up by its first unit, lower-cased.
    static quint64 EmptyRunKey(char16_t lowered)
    {
        return quint64(lowered) * 0xFF51AFD7ED558CCDull;
    }

    // Adds a listed word of length units, lower-cased at low, whose first run is firstRun units
    // (0 where it begins with another character). A word of one run adds no length, as the run
    // is the whole word.
    void add(const char16_t *low, qsizetype firstRun, qsizetype length);
    // Done adding.
    void finish();

    // Whether a listed word may begin with the run of this key.
    bool mayBegin(quint64 key) const
    {
        const quint32 slot = CoarseSlot(key);
        return (coarse_[slot / 64] >> (slot % 64)) & 1;
    }

    // Whether any listed word begins with a character that is not a word character.
    bool startsWithOtherCharacter() const { return startsWithOtherCharacter_; }

    // Whether any listed word is more than one run.
    bool hasOthers() const { return !lengths_.empty(); }

    // Of a key, with hasOthers(): the lengths up to 63 of the words of more than one run whose
    // first run may have that key, as bits (length 1 is bit 0), and the top bit where there
    // may be longer ones, whose lengths are all in longLengths().
    quint64 otherLengths(quint64 key) const { return lengths_[LengthSlot(key)]; }
    const std::vector<qint32> &longLengths() const { return longLengths_; }

private:
    static constexpr int CoarseBits = 16;
    static constexpr int LengthBits = 10;

    // The filters' places of a key: its top bits, which the multiplication mixes best.
    static quint32 CoarseSlot(quint64 key) { return quint32(key >> (64 - CoarseBits)); }
    static quint32 LengthSlot(quint64 key)
    {
        return quint32(key >> (64 - CoarseBits - LengthBits)) & ((1u << LengthBits) - 1);
    }

    std::vector<quint64> coarse_; // a bit per slot of every word's first run
    bool startsWithOtherCharacter_ = false;
    std::vector<quint64> lengths_;    // by the slot of a first run's key, see otherLengths()
    std::vector<qint32> longLengths_; // sorted, each once
};
