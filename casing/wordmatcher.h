// Finds a list's words in a text that WordScan has marked, and writes their spellings over them:
// a word of one run as soon as it is found, the others, which may overlap each other, once the
// text is searched, the longest where they overlap. Kept inline with the scan, as it runs once
// per run of word characters of every converted text.
#pragma once

#include "casing/wordfilter.h"
#include "casing/wordscan.h"
#include "casing/wordtable.h"

#include <QVarLengthArray>
#include <algorithm>

class WordMatcher
{
public:
    // The parts of a list: its filters, its words of one run and its other words.
    WordMatcher(const WordFilter &filter, const WordTable &oneRun, const WordTable &others)
        : filter_(filter), oneRun_(oneRun), others_(others)
    {
    }

    // Writes the listed spellings over the n units of text, whose marks and units lower-cased
    // (with EightUnits::Padding units after them) bits and low hold (WordScan::Mark). A
    // spelling keeps which units are word characters, and the search reads the lower-cased
    // copy, so writing does not change what is found.
    template <bool OneBlock>
    void apply(char16_t *text, qsizetype n, const quint64 *bits, const char16_t *low) const;

private:
    struct Match {
        qsizetype start;
        qsizetype length; // 0 for one that a longer one overlaps
        const char16_t *spelling;
    };
    using Matches = QVarLengthArray<Match, 8>;

    struct Text {
        char16_t *units;
        const char16_t *low;
        qsizetype n;
        const quint64 *bits;
        qsizetype blocks;
    };

    template <bool OneBlock>
    void findAll(const Text &text, Matches &longer) const;
    void findAfterOtherCharacters(const Text &text, qsizetype block, quint64 starts,
                                  Matches &longer) const;
    void lookUp(const Text &text, qsizetype start, qsizetype end, quint64 key,
                Matches &longer) const;
    void matchRun(const Text &text, qsizetype start, qsizetype end) const;
    void findOthers(const Text &text, qsizetype start, quint64 lengths, Matches &longer) const;
    static void KeepLongest(Matches &matches);

    const WordFilter &filter_;
    const WordTable &oneRun_;
    const WordTable &others_;
};

template <bool OneBlock>
Q_ALWAYS_INLINE void WordMatcher::apply(char16_t *text, qsizetype n, const quint64 *bits,
                                        const char16_t *low) const
{
    Matches longer;
    findAll<OneBlock>({text, low, n, bits, OneBlock ? 1 : (n + 63) / 64}, longer);
    if (longer.isEmpty())
        return;
    if (longer.size() > 1)
        KeepLongest(longer);
    for (const Match &m : longer)
        std::copy_n(m.spelling, m.length, text + m.start);
}

// A run starts where a mark follows a clear one and ends where one precedes it. Of each run whose
// key the filter lets through, the word of one run it is and the longer words that begin with it
// are looked up.
template <bool OneBlock>
Q_ALWAYS_INLINE void WordMatcher::findAll(const Text &text, Matches &longer) const
{
    const qsizetype blocks = OneBlock ? 1 : text.blocks;
    quint64 before = 0; // the mark of the unit before the block
    for (qsizetype block = 0; block < blocks; ++block) {
        const qsizetype base = block * 64;
        const quint64 word = text.bits[block];
        const quint64 after = block + 1 < blocks ? text.bits[block + 1] & 1 : 0;
        const quint64 notAfterWord = ~((word << 1) | before);
        quint64 starts = word & notAfterWord;
        quint64 ends = word & ~((word >> 1) | (after << 63));
        if (before & word & 1)
            ends &= ends - 1; // the end of a run that began in an earlier block
        for (; starts; starts &= starts - 1, ends &= ends - 1) {
            const qsizetype start = base + WordScan::LowestBit(starts);
            // A run goes on past its block only when the text has more.
            const qsizetype end = OneBlock || ends
                                      ? base + WordScan::LowestBit(ends) + 1
                                      : WordScan::RunEndAt(text.bits, blocks, text.n, start);
            const quint64 key = WordFilter::RunKey(text.low + start, end - start);
            if (filter_.mayBegin(key))
                lookUp(text, start, end, key, longer);
        }
        if (filter_.startsWithOtherCharacter())
            findAfterOtherCharacters(text, block, ~word & notAfterWord, longer);
        before = word >> 63;
    }
}

// The words that begin with a character that is not a word character, at the places of the block
// that starts (of units not after a word character) gives.
Q_ALWAYS_INLINE void WordMatcher::findAfterOtherCharacters(const Text &text, qsizetype block,
                                                           quint64 starts, Matches &longer) const
{
    const qsizetype n = text.n;
    const qsizetype base = block * 64;
    const quint64 inText =
        block + 1 < text.blocks || n % 64 == 0 ? ~quint64(0) : (quint64(1) << (n % 64)) - 1;
    for (starts &= inText; starts; starts &= starts - 1) {
        const qsizetype start = base + WordScan::LowestBit(starts);
        const bool betweenPairUnits = start > 0 && QChar::isLowSurrogate(text.units[start]) &&
                                      QChar::isHighSurrogate(text.units[start - 1]);
        const quint64 key = WordFilter::EmptyRunKey(text.low[start]);
        if (!betweenPairUnits && filter_.mayBegin(key))
            lookUp(text, start, start, key, longer);
    }
}

Q_ALWAYS_INLINE void WordMatcher::lookUp(const Text &text, qsizetype start, qsizetype end,
                                         quint64 key, Matches &longer) const
{
    if (end > start)
        matchRun(text, start, end);
    if (filter_.hasOthers()) {
        if (const quint64 lengths = filter_.otherLengths(key))
            findOthers(text, start, lengths, longer);
    }
}

// The listed word of one run that the run [start, end) of the text is, if any, written over it
// at once: it cannot overlap another word of one run, and a longer word that overlaps it holds
// it whole and is written after it.
Q_ALWAYS_INLINE void WordMatcher::matchRun(const Text &text, qsizetype start, qsizetype end) const
{
    const qsizetype length = end - start;
    const WordTable::Entry *entry = oneRun_.find(text.low + start, length);
    if (!entry)
        return;
    if (length <= 8 && start + 8 <= text.n)
        entry->spelled.writeOver(text.units + start, length);
    else
        std::copy_n(oneRun_.spelling(*entry), length, text.units + start);
}

// The listed words of more than one run, or that begin with another character, that begin at
// start. Such a word has one of the lengths that words whose first run has the key of the
// text's run at start have; the text up to there is looked up whole where a word may end
// there, which the marks of the units after start rule out for most.
inline void WordMatcher::findOthers(const Text &text, qsizetype start, quint64 lengths,
                                    Matches &matches) const
{
    const quint64 marksAfter = WordScan::MarksFrom(text.bits, text.blocks, start + 1);
    auto tryLength = [&](qsizetype length) {
        if (!WordScan::EndsWordAt(text.units, text.n, start + length))
            return;
        if (const WordTable::Entry *entry = others_.find(text.low + start, length))
            matches.push_back({start, length, others_.spelling(*entry)});
    };
    const qsizetype room = text.n - start; // the longest length that fits
    quint64 candidates = lengths & ~marksAfter & ~(quint64(1) << 63);
    if (room < 64)
        candidates &= (quint64(1) << room) - 1;
    for (; candidates; candidates &= candidates - 1)
        tryLength(WordScan::LowestBit(candidates) + 1);
    if (lengths >> 63) {
        for (const qint32 length : filter_.longLengths()) {
            if (length > room)
                return;
            tryLength(length);
        }
    }
}
