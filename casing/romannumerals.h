// Name rule: a Roman numeral from II to XX that ends a name of two or more words is written in
// capitals: "Henry VIII", "Louis XIV", "John D. Rockefeller III". Never as the first word, where
// "Xi" is a family name ("Xi Jinping"), and never beyond XX, so that "Liv", "Mix" or "Dix" stay
// words.
#pragma once

#include "casing/nameword.h"

class RomanNumerals
{
public:
    static void Apply(NameWord &word)
    {
        const char16_t c = word.text[word.begin];
        if (word.last && !word.first && word.length() >= 2 && word.length() <= LongestWord &&
            (c == u'I' || c == u'V' || c == u'X') && IsNumeral(word))
            word.upperAscii(word.begin, word.end);
    }

private:
    static constexpr qsizetype LongestWord = 5; // "XVIII"
    static bool IsNumeral(const NameWord &word);
};
