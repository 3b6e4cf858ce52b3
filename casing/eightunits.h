// The first eight units of a word, lower-cased or as listed, held as two numbers: the word tables
// compare a word with a run of a text, and write a short word's spelling, in two steps instead of
// unit by unit.
#pragma once

#include <QtGlobal>
#include <array>
#include <bit>
#include <cstring>

struct EightUnits {
    quint64 first = 0;  // units 0 to 3
    quint64 second = 0; // units 4 to 7

    bool operator==(const EightUnits &) const = default;

    // Units are read four at a time, as one number. The lower-cased copies of a text and of a
    // word have this many units after their end, so that a read may go past it.
    static constexpr qsizetype Padding = 8;

    static quint64 Four(const char16_t *units)
    {
        quint64 four;
        std::memcpy(&four, units, sizeof four);
        return four;
    }

    // The bits that hold the first 0 to 8 units, looked up: run lengths vary too much for a
    // branch.
    static const EightUnits &Mask(qsizetype count);

    // The first count (0 to 8) units from units, and zeros after them.
    static EightUnits Of(const char16_t *units, qsizetype count)
    {
        const EightUnits &mask = Mask(count);
        return {Four(units) & mask.first, Four(units + 4) & mask.second};
    }

    // Writes these units over the first count (0 to 8) units of text, keeping the others of the
    // eight from text on.
    void writeOver(char16_t *text, qsizetype count) const
    {
        const EightUnits &mask = Mask(count);
        const quint64 low = (Four(text) & ~mask.first) | first;
        const quint64 high = (Four(text + 4) & ~mask.second) | second;
        std::memcpy(text, &low, sizeof low);
        std::memcpy(text + 4, &high, sizeof high);
    }

private:
    // The bits of four units read as one number that hold the first count of them.
    static constexpr quint64 FirstUnits(qsizetype count)
    {
        if (count <= 0)
            return 0;
        if (count >= 4)
            return ~quint64(0);
        return std::endian::native == std::endian::little ? (quint64(1) << (16 * count)) - 1
                                                          : ~quint64(0) << (16 * (4 - count));
    }
};

inline const EightUnits &EightUnits::Mask(qsizetype count)
{
    static constexpr std::array<EightUnits, 9> Masks = [] {
        std::array<EightUnits, 9> masks{};
        for (qsizetype c = 0; c <= 8; ++c)
            masks[size_t(c)] = {FirstUnits(c), FirstUnits(c - 4)};
        return masks;
    }();
    return Masks[size_t(count)];
}
