// The user's word exceptions: words whose spelling Proper Case and Sentence case keep as
// listed ("McDonald", "O'Neil", "USA", "iPhone"), where the fixed rule would give "Mcdonald",
// "O'neil", "Usa" and "Iphone".
//
// A listed word matches an occurrence when both are the same once lower-cased character by
// character with the rules' own mapping, final sigma counting as sigma (FoldedCharacter in
// caseunits.h), and the occurrence is neither preceded nor followed by a letter,
// a digit or a combining mark. Where two matches overlap, the longer one wins (the earlier
// one between two of the same length). Built once into lookup tables, the list is applied in
// one pass over a text (see the source for how). Immutable once built, so that threads may
// share one.
#pragma once

#include "casing/caserules.h"

#include <QString>
#include <QStringList>
#include <vector>

class WordExceptions
{
public:
    WordExceptions() = default;
    explicit WordExceptions(const QStringList &words);

    bool isEmpty() const { return words_.isEmpty(); }

    // The words in use, as Cleaned() keeps them.
    const QStringList &words() const { return words_; }

    // Whether the list can change a text in this mode: only a non-empty list, and only after
    // Proper and Sentence.
    bool appliesTo(CaseMode mode) const
    {
        return !isEmpty() && (mode == CaseMode::Proper || mode == CaseMode::Sentence);
    }

    // Writes each listed word's spelling over its occurrences. The length never changes.
    void apply(QString &text) const;

    // A list as it is kept: each word without surrounding blanks, no empty words, and a word
    // that matches an earlier one (the same but for case) left out, as it could never apply.
    static QStringList Cleaned(const QStringList &words);

    // Letters, digits and combining marks make up words: a listed word matches only where it
    // neither begins nor ends inside one. A mark counts so that "cafe" does not match in a
    // decomposed "café".
    static bool IsWordCharacter(char32_t c);

private:
    struct Match;
    // A word in a table: what a match needs, in one place.
    struct Entry {
        quint64 key = 0;             // the hash of the word lower-cased; 0 for a free place
        quint64 folded[2] = {0, 0};  // its first eight units lower-cased, as two numbers
        quint64 spelled[2] = {0, 0}; // and as listed; zeros after the word
        qint32 units = 0;            // in units_: the whole word lower-cased, then as listed
        qint32 length = 0;
    };

    static void insert(std::vector<Entry> &table, const Entry &entry);
    const Entry *find(const std::vector<Entry> &table, const char16_t *low, qsizetype length) const;
    void matchRun(char16_t *text, const char16_t *low, qsizetype n, qsizetype start,
                  qsizetype end) const;
    template <typename Matches>
    void findOthers(const char16_t *text, const char16_t *low, qsizetype n, qsizetype start,
                    quint64 lengths, quint64 marksAfter, Matches &matches) const;
    template <bool OneBlock, typename Matches>
    void findAll(char16_t *text, const char16_t *low, qsizetype n, const quint64 *bits,
                 Matches &longer) const;
    template <bool OneBlock>
    void applyTo(char16_t *text, qsizetype n, quint64 *bits, char16_t *low) const;

    QStringList words_;
    std::vector<quint64> coarse_;           // a bit per slot of every word's first run
    bool startsWithOtherCharacter_ = false; // a word begins with no word character
    std::vector<Entry> table_;              // the words of one run, open addressing
    std::vector<Entry> others_;             // the other words: "O'Neil", "van der Berg"
    // For the other words, by the key of their first run: their lengths up to 63 as bits, and
    // a top bit for longer ones, whose lengths are in longLengths_.
    std::vector<quint64> lengths_;
    std::vector<qint32> longLengths_;
    std::vector<char16_t> units_; // lower-cased words and spellings
};
