// How a text is searched, in one pass and with no search per word. A listed word can only
// begin where no word character stands before it, and there the text's run of word characters
// must be the word's own first run (the word up to its first other character, or all of it),
// as the occurrence has the word's characters and no word character follows it. So:
//   1. One pass over the text marks the word characters with a bit per unit and writes the
//      text lower-cased beside it (sixteen ASCII units at a time where SSE2 is there); runs
//      start where a set bit follows a clear one and end where one precedes it.
//   2. Each run is looked up in a filter of the words' first runs by a key of its length and
//      its first, second and last units, lower-cased, which costs no work per character.
//   3. A word that is one run (most are: "McDonald", "USA") is found in a hash table of such
//      words by a hash of the whole run, and compared eight units at a time. Any other word
//      ("O'Neil", "van der Berg") is found by trying the lengths such words have whose first
//      run has the same key: where one ends at a place where a word may end, the text up to
//      there is looked up whole in a second table.
// Words of one run are written as they are found; the others, which may overlap each other,
// once the text is searched.
#include "casing/wordexceptions.h"

#include "casing/caseunits.h"

#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr int CoarseBits = 16;
constexpr int LengthBits = 10;

// The place of the lowest set bit of a number that has one: without the test for none that
// std::countr_zero makes where the processor's instruction for it may not count zeros.
inline int lowestBit(quint64 bits)
{
    Q_ASSERT(bits);
#if defined(__GNUC__)
    return __builtin_ctzll(bits);
#else
    return std::countr_zero(bits);
#endif
}

inline bool isAsciiWordCharacter(char16_t c)
{
    return (char16_t((c | 0x20) - u'a') < 26) | (char16_t(c - u'0') < 10);
}

// The character that begins at unit i, and how many units it takes.
char32_t characterAt(const char16_t *s, qsizetype n, qsizetype i, int *units)
{
    const char16_t c = s[i];
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
        *units = 2;
        return QChar::surrogateToUcs4(c, s[i + 1]);
    }
    *units = 1;
    return c;
}

// Writes the character that begins at unit i, folded (caseunits.h), to the same place of out,
// and gives the character and how many units it takes. Folding keeps a character's plane, so
// it takes as many units folded.
char32_t foldCharacterAt(const char16_t *s, qsizetype n, qsizetype i, char16_t *out, int *units)
{
    const char32_t c = characterAt(s, n, i, units);
    const char32_t folded = FoldedCharacter(c);
    if (*units == 1) {
        out[i] = char16_t(folded);
    } else {
        out[i] = QChar::highSurrogate(folded);
        out[i + 1] = QChar::lowSurrogate(folded);
    }
    return c;
}

void foldUnits(const char16_t *s, qsizetype n, char16_t *out)
{
    for (qsizetype i = 0; i < n;) {
        int units;
        foldCharacterAt(s, n, i, out, &units);
        i += units;
    }
}

// Whether a word may end before unit i: the end of the text, or a character that is not part
// of a word. The middle of a surrogate pair is never an end.
inline bool endsWordAt(const char16_t *s, qsizetype n, qsizetype i)
{
    if (i == n)
        return true;
    if (s[i] < 0x80)
        return !isAsciiWordCharacter(s[i]);
    if (QChar::isLowSurrogate(s[i]) && QChar::isHighSurrogate(s[i - 1]))
        return false;
    int units;
    return !WordExceptions::IsWordCharacter(characterAt(s, n, i, &units));
}

// Where the run of word characters that begins at unit i ends (i itself when there is none).
qsizetype runEnd(const char16_t *s, qsizetype n, qsizetype i)
{
    while (i < n) {
        int units;
        if (!WordExceptions::IsWordCharacter(characterAt(s, n, i, &units)))
            return i;
        i += units;
    }
    return i;
}

// Sets bits (a bit per unit, in blocks of 64) to the word characters of the text and low to
// the text's units lower-cased: ASCII first, sixteen units at a time where SSE2 is there, and
// then, if the text holds any other unit, each character beyond ASCII on its own, folded
// (both units of a pair alike). OneBlock is for a text of at most 64 units, whose bits are one
// number.
template <bool OneBlock>
Q_ALWAYS_INLINE void markWordCharacters(const char16_t *s, qsizetype n, quint64 *bits,
                                        char16_t *low)
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
        // Sixteen units are classified at once as bytes, saturated: a unit beyond ASCII becomes
        // 0xff or 0, neither of which is a word character. A letter with 0x20 or-ed in lies in
        // 'a'..'z', a digit in '0'..'9'; moved to the bottom of the signed range, each range test
        // is one comparison. Or-ing 0x20 into a letter lower-cases it, and a digit has that bit
        // already.
        const __m128i caseBit = _mm_set1_epi16(0x20);
        __m128i allUnits = _mm_setzero_si128();
        // The marks of the eight units at first and the eight at second, as sixteen bits, with
        // their lower-cased units.
        auto sixteen = [&](qsizetype first, qsizetype second) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + first));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + second));
            allUnits = _mm_or_si128(allUnits, _mm_or_si128(a, b));
            const __m128i bytes = _mm_packus_epi16(a, b);
            const __m128i letter =
                _mm_cmplt_epi8(_mm_add_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)),
                                            _mm_set1_epi8(char(0x80 - 'a'))),
                               _mm_set1_epi8(char(0x80 + 26)));
            const __m128i digit =
                _mm_cmplt_epi8(_mm_add_epi8(bytes, _mm_set1_epi8(char(0x80 - '0'))),
                               _mm_set1_epi8(char(0x80 + 10)));
            const __m128i word = _mm_or_si128(letter, digit);
            _mm_storeu_si128(
                reinterpret_cast<__m128i *>(low + first),
                _mm_or_si128(a, _mm_and_si128(_mm_unpacklo_epi8(word, word), caseBit)));
            _mm_storeu_si128(
                reinterpret_cast<__m128i *>(low + second),
                _mm_or_si128(b, _mm_and_si128(_mm_unpackhi_epi8(word, word), caseBit)));
            return quint64(unsigned(_mm_movemask_epi8(word)));
        };
        // The last few units are taken with the ones before them, from the sixteen or eight that
        // end the text; they lie in one block, as k is a multiple of sixteen. So the only branch
        // on the length is the loop's.
        if (n >= 16) {
            for (; k + 16 <= n; k += 16)
                set(k, sixteen(k, k + 8));
            if (k < n)
                set(k, sixteen(n - 16, n - 8) >> (16 - (n - k)));
        } else {
            const quint64 marks = sixteen(0, n - 8);
            set(0, (marks & 0xff) | (marks >> 8) << (n - 8));
        }
        k = n;
        const __m128i beyondAscii = _mm_subs_epu16(allUnits, _mm_set1_epi16(0x7f));
        ascii = _mm_movemask_epi8(_mm_cmpeq_epi16(beyondAscii, _mm_setzero_si128())) == 0xffff;
    }
#endif
    for (char16_t all = 0; k < n; ++k) {
        const char16_t c = s[k];
        const bool word = isAsciiWordCharacter(c);
        all |= c;
        ascii = all < 0x80;
        set(k, word);
        low[k] = c | char16_t(word << 5);
    }
    if constexpr (OneBlock)
        bits[0] = one;
    if (ascii)
        return;
    for (k = 0; k < n;) {
        if (s[k] < 0x80) {
            ++k;
            continue;
        }
        int units;
        const bool word = WordExceptions::IsWordCharacter(foldCharacterAt(s, n, k, low, &units));
        for (const qsizetype last = k + units; k < last; ++k)
            bits[k / 64] |= quint64(word) << (k % 64);
    }
}

// The end of the run of word characters that begins at start: the first unit after it whose
// bit is clear, or the end of the text.
qsizetype runEndAt(const quint64 *bits, qsizetype blocks, qsizetype n, qsizetype start)
{
    qsizetype block = start / 64;
    quint64 clear = ~bits[block] & (~quint64(0) << (start % 64));
    while (!clear) {
        if (++block == blocks)
            return n;
        clear = ~bits[block];
    }
    return std::min(n, block * 64 + lowestBit(clear));
}

// Lower-cased units are read four at a time, as one number. The lower-cased copies of a text
// and of a word have eight units after their end, so that a read may go past it.
constexpr qsizetype Padding = 8;

inline quint64 fourUnits(const char16_t *units)
{
    quint64 four;
    std::memcpy(&four, units, sizeof four);
    return four;
}

// The bits of four units read as one number that hold the first count of them.
constexpr quint64 firstUnits(qsizetype count)
{
    if (count <= 0)
        return 0;
    if (count >= 4)
        return ~quint64(0);
    return std::endian::native == std::endian::little ? (quint64(1) << (16 * count)) - 1
                                                      : ~quint64(0) << (16 * (4 - count));
}

struct Head {
    quint64 first, second;
    bool operator==(const Head &) const = default;
};

// The bits that hold the first 0 to 8 units, looked up: run lengths vary too much for a branch.
constexpr std::array<Head, 9> HeadMasks = [] {
    std::array<Head, 9> masks{};
    for (qsizetype count = 0; count <= 8; ++count)
        masks[size_t(count)] = {firstUnits(count), firstUnits(count - 4)};
    return masks;
}();

// The first length (0 to 8) lower-cased units from low, and zeros after them.
inline Head headOf(const char16_t *low, qsizetype length)
{
    const Head &mask = HeadMasks[size_t(length)];
    return {fourUnits(low) & mask.first, fourUnits(low + 4) & mask.second};
}

inline quint64 mixHead(quint64 h, Head head)
{
    return ((h ^ head.first) * 0xFF51AFD7ED558CCDull) ^ (head.second * 0xC4CEB9FE1A85EC53ull);
}

// The hash of a run by its lower-cased units: every unit counts, so that words that begin and
// end alike ("McAlister", "McAllen") are told apart before they are compared. Its top bit is
// set, as a hash of 0 marks a free place in a table; the bits below it are well mixed.
inline quint64 runHash(const char16_t *low, qsizetype length)
{
    quint64 h = quint64(length) * 0x9E3779B97F4A7C15ull;
    for (; length > 8; length -= 8, low += 8)
        h = mixHead(h, headOf(low, 8));
    return mixHead(h, headOf(low, length)) | quint64(1) << 63;
}

// A table's first place for a hash: the bits below its top bit.
inline size_t firstPlace(size_t tableSize, quint64 hash)
{
    return size_t(hash << 1 >> (64 - std::countr_zero(tableSize)));
}

// The key by which a run is looked up in the filters: its length and its first, second and
// last units, lower-cased, mixed by one multiplication. They tell runs apart well and cost no
// work per character. A word that begins with another character has an empty first run, and
// is looked up by its first unit.
inline quint64 filterKey(const char16_t *low, qsizetype length)
{
    constexpr quint32 FirstOfTwo =
        std::endian::native == std::endian::little ? 0xffffu : 0xffff0000u;
    quint32 firstTwo;
    std::memcpy(&firstTwo, low, sizeof firstTwo);
    firstTwo &= length > 1 ? ~0u : FirstOfTwo;
    return (quint64(length) << 48 | quint64(low[length - 1]) << 32 | firstTwo) *
           0xFF51AFD7ED558CCDull;
}

inline quint64 emptyRunKey(char16_t lowered)
{
    return quint64(lowered) * 0xFF51AFD7ED558CCDull;
}

// The filters' places of a key: its top bits, which the multiplication mixes best.
inline quint32 coarseSlot(quint64 key)
{
    return quint32(key >> (64 - CoarseBits));
}

inline quint32 lengthSlot(quint64 key)
{
    return quint32(key >> (64 - CoarseBits - LengthBits)) & ((1u << LengthBits) - 1);
}

inline bool inFilter(const quint64 *filter, quint32 slot)
{
    return (filter[slot / 64] >> (slot % 64)) & 1;
}

inline void addToFilter(std::vector<quint64> &filter, quint32 slot)
{
    filter[slot / 64] |= quint64(1) << (slot % 64);
}

// A word's units, folded or as listed, with the padding after them.
std::vector<char16_t> padded(const QString &word, bool fold)
{
    std::vector<char16_t> units(size_t(word.size() + Padding), 0);
    const auto *s = reinterpret_cast<const char16_t *>(word.constData());
    if (fold)
        foldUnits(s, word.size(), units.data());
    else
        std::copy_n(s, word.size(), units.begin());
    return units;
}

} // namespace

struct WordExceptions::Match {
    qsizetype start;
    qsizetype length;
    qint32 spelling; // in units_
};

QStringList WordExceptions::Cleaned(const QStringList &words)
{
    QStringList kept;
    QSet<QString> seen;
    for (const QString &word : words) {
        const QString trimmed = word.trimmed();
        if (trimmed.isEmpty())
            continue;
        QString key(trimmed.size(), Qt::Uninitialized);
        foldUnits(reinterpret_cast<const char16_t *>(trimmed.constData()), trimmed.size(),
                  reinterpret_cast<char16_t *>(key.data()));
        if (seen.contains(key))
            continue;
        seen.insert(key);
        kept.push_back(trimmed);
    }
    return kept;
}

bool WordExceptions::IsWordCharacter(char32_t c)
{
    if (c < 0x80)
        return isAsciiWordCharacter(char16_t(c));
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

WordExceptions::WordExceptions(const QStringList &words) : words_(Cleaned(words))
{
    if (words_.isEmpty())
        return;
    // The first run of a word is found by the same test as the runs of a text. That works on
    // the word as listed and on the text as it stands, not folded, which is the same: folding a
    // character never makes a word character of another one or the reverse.
    coarse_.assign((1 << CoarseBits) / 64, 0);
    qsizetype oneRunWords = 0;
    for (const QString &word : std::as_const(words_))
        oneRunWords += runEnd(reinterpret_cast<const char16_t *>(word.constData()), word.size(),
                              0) == word.size();
    auto sized = [](qsizetype count) {
        return std::vector<Entry>(size_t(1) << std::bit_width(size_t(count) * 2 + 1));
    };
    table_ = sized(oneRunWords);
    others_ = sized(words_.size() - oneRunWords);
    for (const QString &word : std::as_const(words_)) {
        const qsizetype size = word.size();
        const auto *units = reinterpret_cast<const char16_t *>(word.constData());
        const qsizetype end = runEnd(units, size, 0);
        const std::vector<char16_t> low = padded(word, true);
        const std::vector<char16_t> spelling = padded(word, false);
        const quint64 key = end ? filterKey(low.data(), end) : emptyRunKey(low[0]);
        addToFilter(coarse_, coarseSlot(key));
        startsWithOtherCharacter_ = startsWithOtherCharacter_ || end == 0;
        const Head folded = headOf(low.data(), std::min<qsizetype>(size, 8));
        const Head spelled = headOf(spelling.data(), std::min<qsizetype>(size, 8));
        const Entry entry{runHash(low.data(), size),
                          {folded.first, folded.second},
                          {spelled.first, spelled.second},
                          qint32(units_.size()),
                          qint32(size)};
        // The lower-cased units and the spelling, whole, for words longer than eight.
        units_.insert(units_.end(), low.begin(), low.begin() + size);
        units_.insert(units_.end(), units, units + size);
        if (end == size) {
            insert(table_, entry);
            continue;
        }
        insert(others_, entry);
        if (lengths_.empty())
            lengths_.assign(size_t(1) << LengthBits, 0);
        quint64 &lengths = lengths_[lengthSlot(key)];
        if (size < 64) {
            lengths |= quint64(1) << (size - 1);
        } else {
            lengths |= quint64(1) << 63;
            longLengths_.push_back(qint32(size));
        }
    }
    std::sort(longLengths_.begin(), longLengths_.end());
    longLengths_.erase(std::unique(longLengths_.begin(), longLengths_.end()), longLengths_.end());
}

void WordExceptions::insert(std::vector<Entry> &table, const Entry &entry)
{
    size_t place = firstPlace(table.size(), entry.key);
    while (table[place].key)
        place = (place + 1) & (table.size() - 1);
    table[place] = entry;
}

// The word of the table that the length units at low are, once lower-cased, if any. No two
// words are the same once lower-cased: the first that matches is the one.
inline const WordExceptions::Entry *
WordExceptions::find(const std::vector<Entry> &table, const char16_t *low, qsizetype length) const
{
    const quint64 hash = runHash(low, length);
    const Head head = headOf(low, std::min<qsizetype>(length, 8));
    for (size_t place = firstPlace(table.size(), hash); table[place].key;
         place = (place + 1) & (table.size() - 1)) {
        const Entry &entry = table[place];
        if (entry.key == hash && entry.length == length &&
            Head{entry.folded[0], entry.folded[1]} == head &&
            (length <= 8 || std::equal(low + 8, low + length, units_.data() + entry.units + 8)))
            return &entry;
    }
    return nullptr;
}

// The listed word of one run that the run [start, end) of the text is, if any, written over it
// at once: it cannot overlap another word of one run, and a longer word that overlaps it holds
// it whole and is written after it.
Q_ALWAYS_INLINE void WordExceptions::matchRun(char16_t *text, const char16_t *low, qsizetype n,
                                              qsizetype start, qsizetype end) const
{
    const qsizetype length = end - start;
    const Entry *entry = find(table_, low + start, length);
    if (!entry)
        return;
    if (length <= 8 && start + 8 <= n) {
        // Written eight units at a time, keeping those after the word.
        const Head &mask = HeadMasks[size_t(length)];
        const quint64 first = (fourUnits(text + start) & ~mask.first) | entry->spelled[0];
        const quint64 second = (fourUnits(text + start + 4) & ~mask.second) | entry->spelled[1];
        std::memcpy(text + start, &first, sizeof first);
        std::memcpy(text + start + 4, &second, sizeof second);
    } else {
        std::copy_n(units_.data() + entry->units + length, length, text + start);
    }
}

// The listed words of more than one run, or that begin with another character, that begin at
// start. Such a word has one of the lengths that words whose first run has the key of the
// text's run at start have; the text up to there is looked up whole where a word may end
// there, which marksAfter (the marks of the units after start) rules out for most.
template <typename Matches>
void WordExceptions::findOthers(const char16_t *text, const char16_t *low, qsizetype n,
                                qsizetype start, quint64 lengths, quint64 marksAfter,
                                Matches &matches) const
{
    auto tryLength = [&](qsizetype length) {
        if (!endsWordAt(text, n, start + length))
            return;
        if (const Entry *entry = find(others_, low + start, length))
            matches.push_back({start, length, qint32(entry->units + length)});
    };
    const qsizetype room = n - start; // the longest length that fits
    quint64 candidates = lengths & ~marksAfter & ~(quint64(1) << 63);
    if (room < 64)
        candidates &= (quint64(1) << room) - 1;
    for (; candidates; candidates &= candidates - 1)
        tryLength(lowestBit(candidates) + 1);
    if (lengths >> 63) {
        for (const qint32 length : longLengths_) {
            if (length > room)
                return;
            tryLength(length);
        }
    }
}

template <bool OneBlock, typename Matches>
Q_ALWAYS_INLINE void WordExceptions::findAll(char16_t *text, const char16_t *low, qsizetype n,
                                             const quint64 *bits, Matches &longer) const
{
    const quint64 *coarse = coarse_.data();
    const quint64 *lengths = lengths_.data();
    const qsizetype blocks = OneBlock ? 1 : (n + 63) / 64;
    // The marks of the 64 units from p on, zeros past the text.
    auto marksFrom = [&](qsizetype p) {
        const qsizetype block = p / 64;
        const int shift = int(p % 64);
        quint64 marks = block < blocks ? bits[block] >> shift : 0;
        if (shift && block + 1 < blocks)
            marks |= bits[block + 1] << (64 - shift);
        return marks;
    };
    auto lookUp = [&](qsizetype start, qsizetype end, quint64 key) {
        if (end > start)
            matchRun(text, low, n, start, end);
        if (lengths) {
            if (const quint64 others = lengths[lengthSlot(key)])
                findOthers(text, low, n, start, others, marksFrom(start + 1), longer);
        }
    };
    quint64 before = 0; // the bit of the unit before the block
    for (qsizetype block = 0; block < blocks; ++block) {
        const qsizetype base = block * 64;
        const quint64 word = bits[block];
        const quint64 after = block + 1 < blocks ? bits[block + 1] & 1 : 0;
        const quint64 notAfterWord = ~((word << 1) | before);
        quint64 starts = word & notAfterWord;
        quint64 ends = word & ~((word >> 1) | (after << 63));
        if (before & word & 1)
            ends &= ends - 1; // the end of a run that began in an earlier block
        for (; starts; starts &= starts - 1, ends &= ends - 1) {
            const qsizetype start = base + lowestBit(starts);
            // A run goes on past its block only when the text has more.
            const qsizetype end =
                OneBlock || ends ? base + lowestBit(ends) + 1 : runEndAt(bits, blocks, n, start);
            const quint64 key = filterKey(low + start, end - start);
            if (inFilter(coarse, coarseSlot(key)))
                lookUp(start, end, key);
        }
        if (startsWithOtherCharacter_) {
            const quint64 inText =
                block + 1 < blocks || n % 64 == 0 ? ~quint64(0) : (quint64(1) << (n % 64)) - 1;
            for (starts = ~word & notAfterWord & inText; starts; starts &= starts - 1) {
                const qsizetype start = base + lowestBit(starts);
                const bool betweenPairUnits = start > 0 && QChar::isLowSurrogate(text[start]) &&
                                              QChar::isHighSurrogate(text[start - 1]);
                const quint64 key = emptyRunKey(low[start]);
                if (!betweenPairUnits && inFilter(coarse, coarseSlot(key)))
                    lookUp(start, start, key);
            }
        }
        before = word >> 63;
    }
}

void WordExceptions::apply(QString &text) const
{
    const qsizetype n = text.size();
    if (words_.isEmpty() || n == 0)
        return;
    // Written in place as the words are found. The search reads the lower-cased copy, and a
    // spelling keeps which units are word characters, so writing does not change what is found.
    // (A text shared with another string is copied here; a converted text never is.)
    auto *out = reinterpret_cast<char16_t *>(text.data());
    // Most texts are names, titles and addresses: their bits are one number, and their copy
    // fits on the stack.
    if (n <= 64) {
        quint64 bits[1];
        char16_t low[64 + Padding];
        applyTo<true>(out, n, bits, low);
    } else {
        QVarLengthArray<quint64, 8> bits((n + 63) / 64);
        QVarLengthArray<char16_t, 512> low(n + Padding);
        applyTo<false>(out, n, bits.data(), low.data());
    }
}

template <bool OneBlock>
Q_ALWAYS_INLINE void WordExceptions::applyTo(char16_t *text, qsizetype n, quint64 *bits,
                                             char16_t *low) const
{
    std::fill_n(low + n, Padding, char16_t(0));
    markWordCharacters<OneBlock>(text, n, bits, low);
    QVarLengthArray<Match, 8> longer;
    findAll<OneBlock>(text, low, n, bits, longer);
    if (longer.isEmpty())
        return;

    // Where words of more than one run overlap, the longest is taken (the earliest of equally
    // long ones) and those it overlaps are left out, marked by a length of 0. A text holds few,
    // so an insertion sort does. A word of one run that one of them overlaps lies inside it, and
    // is written over.
    if (longer.size() > 1) {
        for (qsizetype i = 1; i < longer.size(); ++i) {
            const Match m = longer[i];
            qsizetype j = i;
            for (; j > 0 && (longer[j - 1].length < m.length ||
                             (longer[j - 1].length == m.length && longer[j - 1].start > m.start));
                 --j)
                longer[j] = longer[j - 1];
            longer[j] = m;
        }
        for (qsizetype i = 1; i < longer.size(); ++i) {
            Match &m = longer[i];
            for (qsizetype j = 0; j < i; ++j) {
                const Match &t = longer[j];
                if (t.length && m.start < t.start + t.length && t.start < m.start + m.length) {
                    m.length = 0;
                    break;
                }
            }
        }
    }
    for (const Match &m : longer)
        std::copy_n(units_.data() + m.spelling, m.length, text + m.start);
}
