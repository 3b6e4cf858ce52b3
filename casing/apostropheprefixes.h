// Name rule: a capital after the apostrophe of the prefixes of Irish, French, Italian and West
// African names: "O'Neill", "D'Angelo", "Dell'Utri", "N'Dour". Only after these: after any other
// letters the apostrophe is a possessive or an elision ("McDonald's", "Rock'n'roll") or an Arabic
// letter ("Ja'far", "Sa'id"), and the letter after it stays small. "d'" and "l'" that do not begin
// the name are written small: "Valéry Giscard d'Estaing".
#pragma once

#include "casing/nameword.h"

class ApostrophePrefixes
{
public:
    static constexpr qsizetype LongestPrefix = 4; // "dell"

    static bool IsApostrophe(char16_t c) { return c == u'\'' || c == 0x2019 || c == 0x02bc; }

    // The part of a name that begins at unit at: a word, or what follows a hyphen.
    static void ApplyAt(NameWord &word, qsizetype at);
};
