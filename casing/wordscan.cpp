// The parts of reading a text that the word exceptions need only to clean and build a list.
#include "casing/wordscan.h"

void WordScan::Fold(const char16_t *s, qsizetype n, char16_t *out)
{
    for (qsizetype i = 0; i < n;) {
        int units;
        FoldCharacterAt(s, n, i, out, &units);
        i += units;
    }
}

qsizetype WordScan::RunEnd(const char16_t *s, qsizetype n, qsizetype i)
{
    while (i < n) {
        int units;
        if (!IsWordCharacter(CharacterAt(s, n, i, &units)))
            return i;
        i += units;
    }
    return i;
}
