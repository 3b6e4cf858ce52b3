// Name rule: each part of a double name begins with a capital, "Zeta-Jones", "Jean-Paul",
// "Saint-Exupéry", where the hyphen stands between two letters. The Arabic article that a hyphen
// joins to a name is written small within a name, "Bashar al-Assad", "Abdel Fattah el-Sisi", and
// keeps its capital where it begins one, "Al-Khwarizmi".
#pragma once

#include "casing/nameword.h"

class HyphenParts
{
public:
    static bool IsHyphen(char16_t c) { return c == u'-' || c == 0x2010 || c == 0x2011; }

    // The hyphen at unit hyphen: the letter after it becomes a capital when it follows a letter.
    // True when it does, and the part after it is a part of the name.
    static bool CapitalAfter(NameWord &word, qsizetype hyphen)
    {
        if (!word.letterBefore(hyphen) || !word.letterAt(hyphen + 1))
            return false;
        word.titleAt(hyphen + 1);
        return true;
    }

    // The part from the word's start to its first hyphen, at unit hyphen.
    static void SmallArticle(NameWord &word, qsizetype hyphen);
};
