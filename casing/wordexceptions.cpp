// How a text is searched, in one pass and with no search per word. A listed word can only
// begin where no word character stands before it, and there the text's run of word characters
// must be the word's own first run (the word up to its first other character, or all of it),
// as the occurrence has the word's characters and no word character follows it. So:
//   1. A bit per unit marks the word characters (eight ASCII units at a time where SSE2 is
//      there); runs start where a set bit follows a clear one and end where one precedes it.
//   2. Each run is looked up in a small filter of the words' first runs by a key of its length
//      and its first, second and last units, which costs no work per character.
//   3. A word that is one run (most are: "McDonald", "USA") is found in a hash table of such
//      words by a hash of the whole run and compared with it. A word that goes on past its first
//      run ("O'Neil", "van der Berg") is found by walking a trie of such words along the text,
//      if a second filter lets the run pass.
#include "casing/wordexceptions.h"

#include "casing/caseunits.h"

#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <bit>
#include <map>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr int CoarseBits = 15;
constexpr int FineBits = 14;
constexpr quint64 FineFactor = 0xC2B2AE3D27D4EB4Full; // another mix than the coarse filter's

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

// Sets bits (a bit per unit) to the word characters of the text: ASCII first, without a
// branch, and then, if the text holds any other unit, each character beyond ASCII on its own
// (both units of a pair alike). True when the text is all ASCII.
bool markWordCharacters(const char16_t *s, qsizetype n, quint64 *bits)
{
    char16_t all = 0;
#ifdef __SSE2__
    // A letter with 0x20 or-ed in lies in 'a'..'z', a digit in '0'..'9'; a subtraction that
    // stops at zero makes the range tests.
    const __m128i zero = _mm_setzero_si128();
    __m128i allUnits = zero;
    auto eight = [&](const char16_t *units) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units));
        allUnits = _mm_or_si128(allUnits, v);
        const __m128i letter =
            _mm_sub_epi16(_mm_or_si128(v, _mm_set1_epi16(0x20)), _mm_set1_epi16(u'a'));
        const __m128i digit = _mm_sub_epi16(v, _mm_set1_epi16(u'0'));
        const __m128i word =
            _mm_or_si128(_mm_cmpeq_epi16(_mm_subs_epu16(letter, _mm_set1_epi16(25)), zero),
                         _mm_cmpeq_epi16(_mm_subs_epu16(digit, _mm_set1_epi16(9)), zero));
        return quint64(_mm_movemask_epi8(_mm_packs_epi16(word, zero)) & 0xff);
    };
#endif
    for (qsizetype block = 0; block * 64 < n; ++block) {
        const char16_t *units = s + block * 64;
        const int count = int(std::min<qsizetype>(64, n - block * 64));
        quint64 set = 0;
        int k = 0;
#ifdef __SSE2__
        for (; k + 8 <= count; k += 8)
            set |= eight(units + k) << k;
        // The last few units are taken with the ones before them, from the eight that end the
        // block, when the text has that many.
        if (k < count && block * 64 + count >= 8) {
            set |= eight(units + count - 8) >> (8 - (count - k)) << k;
            k = count;
        }
#endif
        for (; k < count; ++k) {
            const char16_t c = units[k];
            all |= c;
            set |= quint64(isAsciiWordCharacter(c)) << k;
        }
        bits[block] = set;
    }
#ifdef __SSE2__
    const __m128i beyondAscii = _mm_subs_epu16(allUnits, _mm_set1_epi16(0x7f));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyondAscii, zero)) != 0xffff)
        all |= 0x80;
#endif
    if (all < 0x80)
        return true;
    for (qsizetype k = 0; k < n;) {
        if (s[k] < 0x80) {
            ++k;
            continue;
        }
        int units;
        const bool word = WordExceptions::IsWordCharacter(characterAt(s, n, k, &units));
        for (const qsizetype last = k + units; k < last; ++k)
            bits[k / 64] |= quint64(word) << (k % 64);
    }
    return false;
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
    return std::min(n, block * 64 + std::countr_zero(clear));
}

// Lower-cases a unit of a run of the text. In an ASCII text the runs are letters and digits,
// which setting one bit lower-cases.
template <bool Ascii>
inline char16_t lowered(char16_t c)
{
    return Ascii ? char16_t(c | 0x20) : LowerUnit(c);
}

// The key of a first run: its length and its first, second and last units, lower-cased. The
// filters and the table are looked up by it, so that a run is looked up without reading it
// whole. A word that begins with another character has an empty first run, and is looked up
// by its first unit. The top bit keeps a key from being 0, which marks a free place.
inline quint64 runKey(qsizetype length, quint64 first, quint64 second, quint64 last)
{
    return quint64(1) << 63 | quint64(length & 0x7fff) << 48 | first << 32 | second << 16 | last;
}

template <bool Ascii>
inline quint64 runKeyOf(const char16_t *s, qsizetype start, qsizetype end)
{
    const qsizetype length = end - start;
    return runKey(length, lowered<Ascii>(s[start]), length > 1 ? lowered<Ascii>(s[start + 1]) : 0,
                  lowered<Ascii>(s[end - 1]));
}

inline quint64 emptyRunKey(const char16_t *s, qsizetype start)
{
    return runKey(0, LowerUnit(s[start]), 0, 0);
}

// The hash of a whole run's lower-cased units, by which the words of one run are kept in the
// table: words of one key are many ("McAlister", "McAllen", ...), and a hash of every unit
// tells them apart before they are compared. Only a run that passed the filter is hashed.
template <bool Ascii>
inline quint64 runHash(const char16_t *s, qsizetype start, qsizetype end)
{
    quint64 h = quint64(end - start) * 0x9E3779B97F4A7C15ull;
    for (qsizetype k = start; k < end; ++k)
        h = (h ^ lowered<Ascii>(s[k])) * 0xFF51AFD7ED558CCDull;
    return (h ^ (h >> 32)) | quint64(1) << 63;
}

// A key mixed by a multiplication, cut to the given number of bits.
inline quint64 slot(quint64 key, int bits, quint64 factor = 0x9E3779B97F4A7C15ull)
{
    return (key * factor) >> (64 - bits);
}

inline bool inFilter(const std::vector<quint64> &filter, quint32 slot)
{
    return (filter[slot / 64] >> (slot % 64)) & 1;
}

inline void addToFilter(std::vector<quint64> &filter, quint32 slot)
{
    filter[slot / 64] |= quint64(1) << (slot % 64);
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
        const QString key = LowerCase(trimmed);
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
    // the word as listed and on the text as it stands, not lower-cased, which is the same:
    // lower-casing a unit never makes a word character of another one or the reverse.
    coarse_.assign((1 << CoarseBits) / 64, 0);
    fine_.assign((1 << FineBits) / 64, 0);
    QList<qint32> whole, longer;
    for (qint32 w = 0; w < words_.size(); ++w) {
        const auto *units = reinterpret_cast<const char16_t *>(words_[w].constData());
        const qsizetype size = words_[w].size();
        const qsizetype end = runEnd(units, size, 0);
        const quint64 key = end ? runKeyOf<false>(units, 0, end) : emptyRunKey(units, 0);
        addToFilter(coarse_, quint32(slot(key, CoarseBits)));
        startsWithOtherCharacter_ = startsWithOtherCharacter_ || end == 0;
        if (end == size) {
            whole.push_back(w);
        } else {
            longer.push_back(w);
            addToFilter(fine_, quint32(slot(key, FineBits, FineFactor)));
        }
    }

    tableBits_ = std::bit_width(size_t(whole.size()) * 2 + 1);
    table_.resize(size_t(1) << tableBits_);
    for (const qint32 w : whole) {
        const auto *units = reinterpret_cast<const char16_t *>(words_[w].constData());
        const qsizetype size = words_[w].size();
        // The lower-cased units, and the spelling right after them, share cache lines.
        const Entry entry{runHash<false>(units, 0, size), qint32(units_.size()), qint32(size)};
        for (qsizetype k = 0; k < size; ++k)
            units_.push_back(LowerUnit(units[k]));
        units_.insert(units_.end(), units, units + size);
        size_t place = slot(entry.key, tableBits_);
        while (table_[place].key)
            place = (place + 1) & (table_.size() - 1);
        table_[place] = entry;
    }
    if (!longer.isEmpty())
        buildTrie(longer);
}

void WordExceptions::buildTrie(const QList<qint32> &words)
{
    // Built with maps, then laid out flat, breadth first, with each node's edges side by side
    // in unit order. A chain of nodes with one child each and no word of their own becomes one
    // node whose label holds the chain's units, compared in one loop.
    std::vector<std::map<char16_t, qint32>> children(1);
    std::vector<qint32> wordAt(1, -1);
    for (const qint32 w : words) {
        qint32 node = 0;
        for (const QChar c : words_[w]) {
            const char16_t unit = LowerUnit(c.unicode());
            const auto found = children[size_t(node)].find(unit);
            if (found != children[size_t(node)].end()) {
                node = found->second;
            } else {
                const qint32 next = qint32(children.size());
                children[size_t(node)].emplace(unit, next);
                children.emplace_back();
                wordAt.push_back(-1);
                node = next;
            }
        }
        wordAt[size_t(node)] = w;
    }
    std::vector<qint32> order{0}; // the old number of the node at each place
    nodes_.emplace_back();
    for (size_t k = 0; k < order.size(); ++k) {
        const size_t old = size_t(order[k]);
        if (wordAt[old] >= 0) {
            const QString &word = words_[wordAt[old]];
            nodes_[k].spelling = qint32(units_.size());
            units_.insert(units_.end(), reinterpret_cast<const char16_t *>(word.constData()),
                          reinterpret_cast<const char16_t *>(word.constData()) + word.size());
        }
        nodes_[k].firstEdge = qint32(edges_.size());
        nodes_[k].edgeCount = qint32(children[old].size());
        for (auto [unit, next] : children[old]) {
            Node target;
            target.labelStart = qint32(labels_.size());
            while (children[size_t(next)].size() == 1 && wordAt[size_t(next)] < 0) {
                labels_.push_back(children[size_t(next)].begin()->first);
                next = children[size_t(next)].begin()->second;
            }
            target.labelLength = qint32(labels_.size()) - target.labelStart;
            edges_.push_back({unit, qint32(nodes_.size())});
            nodes_.push_back(target);
            order.push_back(next);
        }
    }
}

inline qint32 WordExceptions::child(qint32 node, char16_t lowered) const
{
    const Node &n = nodes_[size_t(node)];
    const Edge *first = edges_.data() + n.firstEdge;
    const Edge *last = first + n.edgeCount;
    if (n.edgeCount <= 8) {
        for (const Edge *edge = first; edge != last; ++edge) {
            if (edge->unit == lowered)
                return edge->node;
        }
        return -1;
    }
    const Edge *found = std::lower_bound(
        first, last, lowered, [](const Edge &edge, char16_t unit) { return edge.unit < unit; });
    return (found != last && found->unit == lowered) ? found->node : -1;
}

// Every listed word that begins at start, whose first run in the text is [start, end) and has
// passed the coarse filter.
template <bool Ascii, typename Matches>
void WordExceptions::findAt(const char16_t *s, qsizetype n, qsizetype start, qsizetype end,
                            quint64 key, Matches &matches) const
{
    if (end > start) {
        // A word of one run: the run itself.
        const quint64 hash = runHash<Ascii>(s, start, end);
        for (size_t place = slot(hash, tableBits_); table_[place].key;
             place = (place + 1) & (table_.size() - 1)) {
            const Entry &entry = table_[place];
            if (entry.key != hash || entry.length != end - start)
                continue;
            const char16_t *folded = units_.data() + entry.folded;
            qsizetype k = 0;
            while (k < entry.length && lowered<Ascii>(s[start + k]) == folded[k])
                ++k;
            // No two words are the same once lower-cased: the first that matches is the one.
            if (k == entry.length) {
                matches.push_back({start, entry.length, entry.folded + entry.length});
                break;
            }
        }
    }
    if (nodes_.empty() || !inFilter(fine_, quint32(slot(key, FineBits, FineFactor))))
        return;
    // Words that go on past the run, along the trie.
    qint32 node = child(0, LowerUnit(s[start]));
    qsizetype j = start + 1;
    while (node >= 0) {
        const Node &here = nodes_[size_t(node)];
        const char16_t *label = labels_.data() + here.labelStart;
        for (qint32 k = 0; k < here.labelLength; ++k, ++j) {
            if (j == n || LowerUnit(s[j]) != label[k])
                return;
        }
        if (here.spelling >= 0 && endsWordAt(s, n, j))
            matches.push_back({start, j - start, here.spelling});
        if (here.edgeCount == 0 || j == n)
            return;
        node = child(node, LowerUnit(s[j++]));
    }
}

template <bool Ascii, typename Matches>
void WordExceptions::findAll(const char16_t *s, qsizetype n, const quint64 *bits, qsizetype blocks,
                             Matches &matches) const
{
    const quint64 *coarse = coarse_.data();
    auto pass = [coarse](quint64 key) {
        const quint64 at = slot(key, CoarseBits);
        return (coarse[at / 64] >> (at % 64)) & 1;
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
        while (starts) {
            const qsizetype start = base + std::countr_zero(starts);
            starts &= starts - 1;
            qsizetype end;
            if (ends) {
                end = base + std::countr_zero(ends) + 1;
                ends &= ends - 1;
            } else {
                end = runEndAt(bits, blocks, n, start); // it goes on past the block
            }
            const quint64 key = runKeyOf<Ascii>(s, start, end);
            if (pass(key))
                findAt<Ascii>(s, n, start, end, key, matches);
        }
        if (startsWithOtherCharacter_) {
            const quint64 inText =
                block + 1 < blocks || n % 64 == 0 ? ~quint64(0) : (quint64(1) << (n % 64)) - 1;
            for (starts = ~word & notAfterWord & inText; starts; starts &= starts - 1) {
                const qsizetype start = base + std::countr_zero(starts);
                const bool betweenPairUnits = start > 0 && QChar::isLowSurrogate(s[start]) &&
                                              QChar::isHighSurrogate(s[start - 1]);
                const quint64 key = emptyRunKey(s, start);
                if (!betweenPairUnits && pass(key))
                    findAt<Ascii>(s, n, start, start, key, matches);
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
    const auto *s = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype blocks = (n + 63) / 64;
    QVarLengthArray<quint64, 8> bits(blocks);
    QVarLengthArray<Match, 8> matches;
    if (markWordCharacters(s, n, bits.data()))
        findAll<true>(s, n, bits.data(), blocks, matches);
    else
        findAll<false>(s, n, bits.data(), blocks, matches);
    if (matches.isEmpty())
        return;

    // Where occurrences overlap, the longest is taken (the earliest of equally long ones) and
    // those it overlaps are left out, marked by a length of 0. A text holds few, so an
    // insertion sort does.
    if (matches.size() > 1) {
        for (qsizetype i = 1; i < matches.size(); ++i) {
            const Match m = matches[i];
            qsizetype j = i;
            for (; j > 0 && matches[j - 1].length < m.length; --j)
                matches[j] = matches[j - 1];
            matches[j] = m;
        }
        for (qsizetype i = 1; i < matches.size(); ++i) {
            Match &m = matches[i];
            for (qsizetype j = 0; j < i; ++j) {
                const Match &t = matches[j];
                if (t.length && m.start < t.start + t.length && t.start < m.start + m.length) {
                    m.length = 0;
                    break;
                }
            }
        }
    }
    // The spellings are short: a plain loop copies them faster than a call would.
    auto *out = reinterpret_cast<char16_t *>(text.data());
    for (const Match &m : matches) {
        const char16_t *spelling = units_.data() + m.spelling;
        for (qsizetype k = 0; k < m.length; ++k)
            out[m.start + k] = spelling[k];
    }
}
