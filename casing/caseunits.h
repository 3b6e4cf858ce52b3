// The case mapping of one character (one code point) that every case rule uses, and that the
// word exceptions match by: Unicode's simple mappings, one character to one, from tables that
// the build makes from the Unicode Character Database (casetablegen.cpp). A mapping never
// leaves its plane, so a converted text keeps its length in UTF-16 units.
#pragma once

#include <QtGlobal>

// A character's mappings as differences to it, the properties that decide where a capital
// sigma is final, and whether a cased letter is a small one (Unicode's Lowercase).
struct CaseRecord {
    enum Flag : quint8 { Cased = 1, CaseIgnorable = 2, Lowercase = 4 };
    qint32 upper, lower, title;
    quint8 flags;
};

// The characters after which Proper Case starts a word.
inline bool IsWordSeparator(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

extern const char CaseTablesUnicodeVersion[];
// Characters in blocks of 1 << CaseBlockBits: a block's number, then each character's record.
extern const quint8 CaseBlockIndex[];
extern const quint8 CaseBlocks[];
extern const CaseRecord CaseRecords[];

constexpr int CaseBlockBits = 7;

// c below 0x110000.
inline const CaseRecord &CaseRecordOf(char32_t c)
{
    constexpr char32_t low = (1u << CaseBlockBits) - 1;
    return CaseRecords[CaseBlocks[char32_t(CaseBlockIndex[c >> CaseBlockBits]) << CaseBlockBits |
                                  (c & low)]];
}

inline char32_t UpperCharacter(char32_t c)
{
    return char32_t(qint32(c) + CaseRecordOf(c).upper);
}

inline char32_t LowerCharacter(char32_t c)
{
    return char32_t(qint32(c) + CaseRecordOf(c).lower);
}

inline char32_t TitleCharacter(char32_t c)
{
    return char32_t(qint32(c) + CaseRecordOf(c).title);
}

constexpr char16_t CapitalSigma = 0x03a3, SmallSigma = 0x03c3, FinalSigma = 0x03c2;

// The form by which the word exceptions compare: lower case, with final sigma as sigma, since the
// rules write either of them for the same letter depending on what follows it.
inline char32_t FoldedCharacter(char32_t c)
{
    const char32_t lower = LowerCharacter(c);
    return lower == FinalSigma ? SmallSigma : lower;
}
