// How a text is searched, in one pass and with no search per word. A listed word can only
// begin where no word character stands before it, and there the text's run of word characters
// must be the word's own first run (the word up to its first other character, or all of it),
// as the occurrence has the word's characters and no word character follows it. So:
//   1. One pass over the text marks the word characters with a bit per unit and writes the
//      text lower-cased beside it (sixteen ASCII units at a time where SSE2 is there); runs
//      start where a set bit follows a clear one and end where one precedes it (WordScan).
//   2. Each run is looked up in a filter of the words' first runs by a key of its length and
//      its first, second and last units, lower-cased, which costs no work per character
//      (WordFilter).
//   3. A word that is one run (most are: "McDonald", "USA") is found in a hash table of such
//      words by a hash of the whole run, and compared eight units at a time (WordTable,
//      EightUnits). Any other word ("O'Neil", "van der Berg") is found by trying the lengths
//      such words have whose first run has the same key: where one ends at a place where a word
//      may end, the text up to there is looked up whole in a second table.
// Words of one run are written as they are found; the others, which may overlap each other,
// once the text is searched (WordMatcher). This file builds the parts from a list and runs them
// over a text.
#include "casing/wordexceptions.h"

#include "casing/eightunits.h"
#include "casing/wordmatcher.h"
#include "casing/wordscan.h"

#include <QSet>
#include <QVarLengthArray>
#include <algorithm>

namespace {

const char16_t *unitsOf(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.constData());
}

// A word's units, folded or as listed, with the padding after them.
std::vector<char16_t> padded(const QString &word, bool fold)
{
    std::vector<char16_t> units(size_t(word.size() + EightUnits::Padding), 0);
    if (fold)
        WordScan::Fold(unitsOf(word), word.size(), units.data());
    else
        std::copy_n(unitsOf(word), word.size(), units.begin());
    return units;
}

template <bool OneBlock>
Q_ALWAYS_INLINE void scanAndMatch(const WordMatcher &matcher, char16_t *text, qsizetype n,
                                  quint64 *bits, char16_t *low)
{
    std::fill_n(low + n, EightUnits::Padding, char16_t(0));
    WordScan::Mark<OneBlock>(text, n, bits, low);
    matcher.apply<OneBlock>(text, n, bits, low);
}

} // namespace

QStringList WordExceptions::Cleaned(const QStringList &words)
{
    QStringList kept;
    QSet<QString> seen;
    for (const QString &word : words) {
        const QString trimmed = word.trimmed();
        if (trimmed.isEmpty())
            continue;
        QString key(trimmed.size(), Qt::Uninitialized);
        WordScan::Fold(unitsOf(trimmed), trimmed.size(), reinterpret_cast<char16_t *>(key.data()));
        if (seen.contains(key))
            continue;
        seen.insert(key);
        kept.push_back(trimmed);
    }
    return kept;
}

bool WordExceptions::IsWordCharacter(char32_t c)
{
    return WordScan::IsWordCharacter(c);
}

WordExceptions::WordExceptions(const QStringList &words, bool nameRules, bool leaveMixedCase,
                               const QStringList &keptValues, CaseLanguage language)
    : words_(Cleaned(words)), nameRules_(nameRules), leaveMixedCase_(leaveMixedCase),
      kept_(keptValues.cbegin(), keptValues.cend()), language_(language)
{
    if (words_.isEmpty())
        return;
    // The first run of a word is found by the same test as the runs of a text. That works on
    // the word as listed and on the text as it stands, not folded, which is the same: folding a
    // character never makes a word character of another one or the reverse.
    qsizetype oneRunWords = 0;
    for (const QString &word : std::as_const(words_))
        oneRunWords += WordScan::RunEnd(unitsOf(word), word.size(), 0) == word.size();
    oneRun_ = WordTable(oneRunWords);
    others_ = WordTable(words_.size() - oneRunWords);
    for (const QString &word : std::as_const(words_)) {
        const qsizetype size = word.size();
        const qsizetype firstRun = WordScan::RunEnd(unitsOf(word), size, 0);
        const std::vector<char16_t> low = padded(word, true);
        const std::vector<char16_t> spelling = padded(word, false);
        filter_.add(low.data(), firstRun, size);
        (firstRun == size ? oneRun_ : others_).insert(low.data(), spelling.data(), size);
    }
    filter_.finish();
}

void WordExceptions::apply(QString &text) const
{
    const qsizetype n = text.size();
    if (words_.isEmpty() || n == 0)
        return;
    // Written in place as the words are found. (A text shared with another string is copied
    // here; a converted text never is.)
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const WordMatcher matcher(filter_, oneRun_, others_);
    // Most texts are names, titles and addresses: their marks are one number, and their copy
    // fits on the stack.
    if (n <= 64) {
        quint64 bits[1];
        char16_t low[64 + EightUnits::Padding];
        scanAndMatch<true>(matcher, out, n, bits, low);
    } else {
        QVarLengthArray<quint64, 8> bits((n + 63) / 64);
        QVarLengthArray<char16_t, 512> low(n + EightUnits::Padding);
        scanAndMatch<false>(matcher, out, n, bits.data(), low.data());
    }
}
