// Name rule: a word that begins with an opening bracket or quotation mark, as a nickname or a
// former name does ("Earvin \"Magic\" Johnson", "Robert (Bob) Dylan"), has a capital after it,
// where Proper Case leaves the letter small as it follows no space.
#pragma once

#include "casing/nameword.h"

class OpeningMarks
{
public:
    static bool IsOpening(char16_t c)
    {
        return c == u'(' || c == u'[' || c == u'{' || c == u'"' || c == 0x201c || c == 0x201e ||
               c == 0x00ab;
    }

    // The marks at the start of the word: the letter after them becomes a capital. Gives the
    // unit where the name part begins, after the marks.
    static qsizetype Apply(NameWord &word)
    {
        qsizetype at = word.begin;
        while (at < word.end && IsOpening(word.text[at]))
            ++at;
        if (at > word.begin && word.letterAt(at))
            word.titleAt(at);
        return at;
    }
};
