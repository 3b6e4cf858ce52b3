// One word of a text that Proper Case has converted, as the name rules see it: its place in the
// text, whether it is the first or the last word, and the few character tests and rewrites the
// rules share. A word is what lies between Proper Case's own separators (space, tab, carriage
// return). The rules write in place and one character to one, so the text keeps its length.
#pragma once

#include "casing/caseunits.h"

#include <QChar>

struct NameWord {
    char16_t *text; // the whole text
    qsizetype size; // of the whole text
    qsizetype begin, end;
    bool first, last;

    qsizetype length() const { return end - begin; }

    // The character that begins at unit i (i < end), and how many units it takes.
    char32_t characterAt(qsizetype i, int *units) const
    {
        const char16_t c = text[i];
        if (QChar::isHighSurrogate(c) && i + 1 < end && QChar::isLowSurrogate(text[i + 1])) {
            *units = 2;
            return QChar::surrogateToUcs4(c, text[i + 1]);
        }
        *units = 1;
        return c;
    }

    static bool IsLetter(char32_t c)
    {
        if (c < 0x80)
            return char32_t((c | 0x20) - u'a') < 26;
        return QChar::isLetter(c);
    }

    // Whether a letter begins at unit i of the word.
    bool letterAt(qsizetype i) const
    {
        if (i < begin || i >= end)
            return false;
        int units;
        return IsLetter(characterAt(i, &units));
    }

    // Whether a letter ends just before unit i of the word.
    bool letterBefore(qsizetype i) const
    {
        if (i <= begin || i > end)
            return false;
        if (i - 2 >= begin && QChar::isLowSurrogate(text[i - 1]) &&
            QChar::isHighSurrogate(text[i - 2]))
            return IsLetter(QChar::surrogateToUcs4(text[i - 2], text[i - 1]));
        return IsLetter(text[i - 1]);
    }

    // Writes the character at unit i in title case, as Proper Case writes the first letter of a
    // word.
    void titleAt(qsizetype i)
    {
        int units;
        const char32_t to = TitleCharacter(characterAt(i, &units));
        if (units == 1) {
            text[i] = char16_t(to);
        } else {
            text[i] = QChar::highSurrogate(to);
            text[i + 1] = QChar::lowSurrogate(to);
        }
    }

    // The ASCII letters from..to in small letters or in capitals: the words of the rules' tables,
    // which are ASCII.
    void lowerAscii(qsizetype from, qsizetype to)
    {
        for (qsizetype k = from; k < to; ++k)
            text[k] |= 0x20;
    }
    void upperAscii(qsizetype from, qsizetype to)
    {
        for (qsizetype k = from; k < to; ++k)
            text[k] &= ~0x20;
    }

    // The units from..to as a key of up to eight ASCII letters lower-cased, one byte each; 0 when
    // they are no such letters. The rules' word tables hold their words by this key.
    static constexpr quint64 Key(const char16_t *units, qsizetype length)
    {
        if (length < 1 || length > 8)
            return 0;
        quint64 key = 0;
        for (qsizetype k = 0; k < length; ++k) {
            const char16_t c = units[k] | 0x20;
            if (c < u'a' || c > u'z')
                return 0;
            key = key << 8 | c;
        }
        return key;
    }

    quint64 key(qsizetype from, qsizetype to) const { return Key(text + from, to - from); }
};
