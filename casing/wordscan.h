// How the word exceptions read a text: which characters make up words, the marks of the word
// characters (a bit per unit, in blocks of 64) with the text lower-cased beside them, and the
// runs of word characters that the marks give. Kept inline, as it runs over every unit of every
// converted text.
#pragma once

#include "casing/caseunits.h"

#include <QChar>
#include <algorithm>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

class WordScan
{
public:
    // Letters, digits and combining marks (see WordExceptions::IsWordCharacter).
    static bool IsWordCharacter(char32_t c)
    {
        if (c < 0x80)
            return IsAsciiWordCharacter(char16_t(c));
        return QChar::isLetterOrNumber(c) || QChar::isMark(c);
    }

    static bool IsAsciiWordCharacter(char16_t c)
    {
        return (char16_t((c | 0x20) - u'a') < 26) | (char16_t(c - u'0') < 10);
    }

    // The character that begins at unit i, and how many units it takes.
    static char32_t CharacterAt(const char16_t *s, qsizetype n, qsizetype i, int *units)
    {
        const char16_t c = s[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            *units = 2;
            return QChar::surrogateToUcs4(c, s[i + 1]);
        }
        *units = 1;
        return c;
    }

    // Writes the character that begins at unit i, folded (caseunits.h), to the same place of
    // out, and gives the character and how many units it takes. Folding keeps a character's
    // plane, so it takes as many units folded.
    static char32_t FoldCharacterAt(const char16_t *s, qsizetype n, qsizetype i, char16_t *out,
                                    int *units)
    {
        const char32_t c = CharacterAt(s, n, i, units);
        const char32_t folded = FoldedCharacter(c);
        if (*units == 1) {
            out[i] = char16_t(folded);
        } else {
            out[i] = QChar::highSurrogate(folded);
            out[i + 1] = QChar::lowSurrogate(folded);
        }
        return c;
    }

    // The n units of s folded, to out.
    static void Fold(const char16_t *s, qsizetype n, char16_t *out);

    // Where the run of word characters that begins at unit i ends (i itself when there is none).
    static qsizetype RunEnd(const char16_t *s, qsizetype n, qsizetype i);

    // Whether a word may end before unit i: the end of the text, or a character that is not part
    // of a word. The middle of a surrogate pair is never an end.
    static bool EndsWordAt(const char16_t *s, qsizetype n, qsizetype i)
    {
        if (i == n)
            return true;
        if (s[i] < 0x80)
            return !IsAsciiWordCharacter(s[i]);
        if (QChar::isLowSurrogate(s[i]) && QChar::isHighSurrogate(s[i - 1]))
            return false;
        int units;
        return !IsWordCharacter(CharacterAt(s, n, i, &units));
    }

    // Sets bits to the marks of the word characters of the text and low to the text's units
    // lower-cased: ASCII first, sixteen units at a time where SSE2 is there, and then, if the
    // text holds any other unit, each character beyond ASCII on its own. OneBlock is for a text
    // of at most 64 units, whose marks are one number.
    template <bool OneBlock>
    static void Mark(const char16_t *s, qsizetype n, quint64 *bits, char16_t *low);

    // The end of the run of word characters that begins at start: the first unit after it whose
    // mark is clear, or the end of the text.
    static qsizetype RunEndAt(const quint64 *bits, qsizetype blocks, qsizetype n, qsizetype start)
    {
        qsizetype block = start / 64;
        quint64 clear = ~bits[block] & (~quint64(0) << (start % 64));
        while (!clear) {
            if (++block == blocks)
                return n;
            clear = ~bits[block];
        }
        return std::min(n, block * 64 + LowestBit(clear));
    }

    // The marks of the 64 units from p on, zeros past the text.
    static quint64 MarksFrom(const quint64 *bits, qsizetype blocks, qsizetype p)
    {
        const qsizetype block = p / 64;
        const int shift = int(p % 64);
        quint64 marks = block < blocks ? bits[block] >> shift : 0;
        if (shift && block + 1 < blocks)
            marks |= bits[block + 1] << (64 - shift);
        return marks;
    }

    // The place of the lowest set bit of a number that has one: without the test for none that
    // std::countr_zero makes where the processor's instruction for it may not count zeros.
    static int LowestBit(quint64 bits)
    {
        Q_ASSERT(bits);
#if defined(__GNUC__)
        return __builtin_ctzll(bits);
#else
        return std::countr_zero(bits);
#endif
    }

private:
#ifdef __SSE2__
    static quint64 MarkSixteen(const char16_t *s, qsizetype first, qsizetype second, char16_t *low,
                               __m128i &allUnits);
#endif
    static void MarkBeyondAscii(const char16_t *s, qsizetype n, quint64 *bits, char16_t *low);
};

template <bool OneBlock>
Q_ALWAYS_INLINE void WordScan::Mark(const char16_t *s, qsizetype n, quint64 *bits, char16_t *low)
{
    quint64 one = 0;
    auto set = [&](qsizetype k, quint64 marks) {
        if constexpr (OneBlock)
            one |= marks << k;
        else
            bits[k / 64] |= marks << (k % 64);
    };
    if constexpr (!OneBlock)
        std::fill_n(bits, (n + 63) / 64, 0);
    bool ascii = true;
    qsizetype k = 0;
#ifdef __SSE2__
    if (n >= 8) {
        __m128i allUnits = _mm_setzero_si128();
        // The last few units are taken with the ones before them, from the sixteen or eight that
        // end the text; they lie in one block, as k is a multiple of sixteen. So the only branch
        // on the length is the loop's.
        if (n >= 16) {
            for (; k + 16 <= n; k += 16)
                set(k, MarkSixteen(s, k, k + 8, low, allUnits));
            if (k < n)
                set(k, MarkSixteen(s, n - 16, n - 8, low, allUnits) >> (16 - (n - k)));
        } else {
            const quint64 marks = MarkSixteen(s, 0, n - 8, low, allUnits);
            set(0, (marks & 0xff) | (marks >> 8) << (n - 8));
        }
        k = n;
        const __m128i beyondAscii = _mm_subs_epu16(allUnits, _mm_set1_epi16(0x7f));
        ascii = _mm_movemask_epi8(_mm_cmpeq_epi16(beyondAscii, _mm_setzero_si128())) == 0xffff;
    }
#endif
    for (char16_t all = 0; k < n; ++k) {
        const char16_t c = s[k];
        const bool word = IsAsciiWordCharacter(c);
        all |= c;
        ascii = all < 0x80;
        set(k, word);
        low[k] = c | char16_t(word << 5);
    }
    if constexpr (OneBlock)
        bits[0] = one;
    if (!ascii)
        MarkBeyondAscii(s, n, bits, low);
}

#ifdef __SSE2__
// The marks of the eight units at first and the eight at second, as sixteen bits, with their
// lower-cased units; allUnits gathers the units, to tell whether any lies beyond ASCII.
// Sixteen units are classified at once as bytes, saturated: a unit beyond ASCII becomes 0xff or
// 0, neither of which is a word character. A letter with 0x20 or-ed in lies in 'a'..'z', a digit
// in '0'..'9'; moved to the bottom of the signed range, each range test is one comparison.
// Or-ing 0x20 into a letter lower-cases it, and a digit has that bit already.
Q_ALWAYS_INLINE quint64 WordScan::MarkSixteen(const char16_t *s, qsizetype first, qsizetype second,
                                              char16_t *low, __m128i &allUnits)
{
    const __m128i caseBit = _mm_set1_epi16(0x20);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + first));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + second));
    allUnits = _mm_or_si128(allUnits, _mm_or_si128(a, b));
    const __m128i bytes = _mm_packus_epi16(a, b);
    const __m128i letter = _mm_cmplt_epi8(
        _mm_add_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8(char(0x80 - 'a'))),
        _mm_set1_epi8(char(0x80 + 26)));
    const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(bytes, _mm_set1_epi8(char(0x80 - '0'))),
                                         _mm_set1_epi8(char(0x80 + 10)));
    const __m128i word = _mm_or_si128(letter, digit);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(low + first),
                     _mm_or_si128(a, _mm_and_si128(_mm_unpacklo_epi8(word, word), caseBit)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(low + second),
                     _mm_or_si128(b, _mm_and_si128(_mm_unpackhi_epi8(word, word), caseBit)));
    return quint64(unsigned(_mm_movemask_epi8(word)));
}
#endif

// Each character beyond ASCII of a text whose ASCII units are marked: its mark (both units of a
// pair alike) and its units folded.
inline void WordScan::MarkBeyondAscii(const char16_t *s, qsizetype n, quint64 *bits, char16_t *low)
{
    for (qsizetype k = 0; k < n;) {
        if (s[k] < 0x80) {
            ++k;
            continue;
        }
        int units;
        const bool word = IsWordCharacter(FoldCharacterAt(s, n, k, low, &units));
        for (const qsizetype last = k + units; k < last; ++k)
            bits[k / 64] |= quint64(word) << (k % 64);
    }
}
