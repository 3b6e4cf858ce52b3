// Name rule: a Korean or Chinese given name of two syllables joined by a hyphen keeps the second
// syllable small, "Kim Jong-un", "Ban Ki-moon", "Moon Jae-in", "Chiang Kai-shek", "Tsai Ing-wen",
// as their bearers write them and as Proper Case already gives them; the hyphen rule
// (hyphenparts.h) would make "Jong-Un" of it. The second syllable must be one of the table and
// end the word, the first one of at most five letters.
#pragma once

#include "casing/nameword.h"

class EastAsianGivenNames
{
public:
    // Whether the hyphen at unit hyphen, in the part that begins at unit part, joins two such
    // syllables.
    static bool KeepsSmall(const NameWord &word, qsizetype part, qsizetype hyphen)
    {
        return hyphen - part >= 1 && hyphen - part <= LongestFirst &&
               word.end - hyphen - 1 <= LongestSecond && IsSyllablePair(word, part, hyphen);
    }

private:
    static constexpr qsizetype LongestFirst = 5, LongestSecond = 5;
    static bool IsSyllablePair(const NameWord &word, qsizetype part, qsizetype hyphen);
};
