// Name rule: "Mc" at the start of a name is followed by a capital: "McCartney", "McQueen",
// "Smith-McKay". "Mac" is left alone: "Macmillan", "Machado", "Mackintosh", "Macey" and
// "Maciej" outnumber the names written "MacX", which belong in the word exceptions.
#pragma once

#include "casing/nameword.h"

class McPrefix
{
public:
    // The part of a name that begins at unit at: a word, or what follows a hyphen.
    static void ApplyAt(NameWord &word, qsizetype at)
    {
        if (word.text[at] == u'M' && at + 2 < word.end && IsPrefix(word, at) &&
            word.letterAt(at + 2))
            word.titleAt(at + 2);
    }

private:
    static bool IsPrefix(const NameWord &word, qsizetype at);
};
