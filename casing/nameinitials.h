// Name rule: initials written without spaces are capitals, "J.R.R. Tolkien", "J.K. Rowling",
// "W.E.B. Du Bois", where Proper Case gives "J.r.r." (it capitalises only after a space). An
// initial is one letter followed by a full stop; the letter after the stop is the next initial.
#pragma once

#include "casing/nameword.h"

class NameInitials
{
public:
    // The part of a name that begins at unit at.
    static void ApplyAt(NameWord &word, qsizetype at)
    {
        for (int units; at + 2 < word.end && word.letterAt(at);) {
            word.characterAt(at, &units);
            const qsizetype stop = at + units;
            if (stop + 1 >= word.end || word.text[stop] != u'.' || !word.letterAt(stop + 1))
                return;
            word.titleAt(stop + 1);
            at = stop + 1;
        }
    }
};
