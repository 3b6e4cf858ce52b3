// The case rules work in place on their by-value argument: one pass, no reallocation. ASCII
// units are mapped where they stand, four at a time; any other character goes through the
// tables.
#include "casing/caserules.h"

#include "casing/caselanguage.h"
#include "casing/caseunits.h"
#include "casing/namerules.h"
#include "casing/wordexceptions.h"

#include <bit>
#include <cstring>

namespace {

inline char16_t asciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
}

inline char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
}

// Unicode's Final_Sigma condition for the capital sigma at unit i: a cased letter before it,
// past any case-ignorable characters ("ΑΣ", "Α'Σ"), and none after it past such characters.
// The characters before it may be converted already; conversion keeps both properties, as the
// table generator makes sure.
bool isFinalSigma(const char16_t *s, qsizetype n, qsizetype i)
{
    for (qsizetype k = i;;) {
        if (k == 0)
            return false;
        char32_t c = s[--k];
        if (QChar::isLowSurrogate(c) && k > 0 && QChar::isHighSurrogate(s[k - 1]))
            c = QChar::surrogateToUcs4(s[--k], char16_t(c));
        const quint8 flags = CaseRecordOf(c).flags;
        if (flags & CaseRecord::Cased)
            break;
        if (!(flags & CaseRecord::CaseIgnorable))
            return false;
    }
    for (qsizetype k = i + 1; k < n; ++k) {
        char32_t c = s[k];
        if (QChar::isHighSurrogate(c) && k + 1 < n && QChar::isLowSurrogate(s[k + 1]))
            c = QChar::surrogateToUcs4(char16_t(c), s[++k]);
        const quint8 flags = CaseRecordOf(c).flags;
        if (flags & CaseRecord::Cased)
            return false;
        if (!(flags & CaseRecord::CaseIgnorable))
            return true;
    }
    return true;
}

enum class Mapping { Upper, Lower, Title };

template <Mapping M>
inline char32_t mapped(char32_t c)
{
    if constexpr (M == Mapping::Upper)
        return UpperCharacter(c);
    else if constexpr (M == Mapping::Lower)
        return LowerCharacter(c);
    else
        return TitleCharacter(c);
}

// A capital sigma to lower-case, or a surrogate: the characters beyond ASCII that take more
// than a look in the tables, out of the loops' way.
template <Mapping M>
Q_NEVER_INLINE qsizetype mapRare(char16_t *s, qsizetype n, qsizetype i)
{
    const char16_t c = s[i];
    if (M == Mapping::Lower && c == CapitalSigma) {
        s[i] = isFinalSigma(s, n, i) ? FinalSigma : SmallSigma;
        return i;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
        const char32_t to = mapped<M>(QChar::surrogateToUcs4(c, s[i + 1]));
        s[i] = QChar::highSurrogate(to);
        s[i + 1] = QChar::lowSurrogate(to);
        return i + 1;
    }
    return i; // a surrogate without its other half stays as it is
}

// Maps the character beyond ASCII that begins at unit i and gives the unit where it ends: i,
// or i + 1 for a surrogate pair.
template <Mapping M>
Q_ALWAYS_INLINE qsizetype mapOther(char16_t *s, qsizetype n, qsizetype i)
{
    const char16_t c = s[i];
    if (Q_LIKELY(!QChar::isSurrogate(c) && (M != Mapping::Lower || c != CapitalSigma))) {
        s[i] = char16_t(mapped<M>(c));
        return i;
    }
    return mapRare<M>(s, n, i);
}

// ASCII is taken four units at a time, as one number (SWAR): every test below works on bit 7 of
// each 16-bit lane, where sums of units below 0x80 stay within the lane.
namespace fourUnits {

constexpr quint64 lanes(char16_t unit)
{
    return 0x0001000100010001ull * unit;
}

constexpr quint64 Bit7 = lanes(0x80);
constexpr bool LittleEndian = std::endian::native == std::endian::little;

inline quint64 load(const char16_t *s)
{
    quint64 units;
    std::memcpy(&units, s, sizeof units);
    return units;
}

inline void store(char16_t *s, quint64 units)
{
    std::memcpy(s, &units, sizeof units);
}

inline bool allAscii(quint64 units)
{
    return (units & lanes(0xff80)) == 0;
}

// Bit 7 of each lane whose unit lies in first..last.
inline quint64 inRange(quint64 units, char16_t first, char16_t last)
{
    return (units + lanes(0x80 - first)) & ~(units + lanes(0x7f - last)) & Bit7;
}

inline quint64 equal(quint64 units, char16_t unit)
{
    return ~((units ^ lanes(unit)) + lanes(0x7f)) & Bit7;
}

// Bit 7 moved to bit 5, the bit that tells a small ASCII letter from a capital.
inline quint64 flipCase(quint64 units, quint64 lanesToFlip)
{
    return units ^ (lanesToFlip >> 2);
}

inline quint64 upper(quint64 units)
{
    return flipCase(units, inRange(units, u'a', u'z'));
}

inline quint64 lower(quint64 units)
{
    return flipCase(units, inRange(units, u'A', u'Z'));
}

// Capitals where the unit before is a word separator (or, for the first, capitalise says so),
// small letters elsewhere; capitalise becomes whether the last unit is a separator.
inline quint64 proper(quint64 units, bool &capitalise)
{
    const quint64 separators = equal(units, u' ') | equal(units, u'\t') | equal(units, u'\r');
    const quint64 first = capitalise ? (LittleEndian ? 0x80 : 0x80ull << 48) : 0;
    const quint64 after = (LittleEndian ? separators << 16 : separators >> 16) | first;
    capitalise = (LittleEndian ? separators >> 48 : separators) & 0x80;
    return flipCase(units,
                    (after & inRange(units, u'a', u'z')) | (~after & inRange(units, u'A', u'Z')));
}

} // namespace fourUnits

// Converts the text from unit i on: four ASCII units at a time by block, any other four one
// character at a time by one, which gives the unit where the character ends.
template <typename Block, typename One>
Q_ALWAYS_INLINE void convertFrom(char16_t *s, qsizetype n, qsizetype i, Block block, One one)
{
    for (; n - i >= 4;) {
        const quint64 units = fourUnits::load(s + i);
        if (fourUnits::allAscii(units)) {
            fourUnits::store(s + i, block(units));
            i += 4;
            continue;
        }
        for (const qsizetype end = i + 4; i < end; ++i)
            i = one(i);
    }
    for (; i < n; ++i)
        i = one(i);
}

// Upper- or lower-cases the text from unit i on.
template <Mapping M>
void mapFrom(char16_t *s, qsizetype n, qsizetype i)
{
    constexpr bool Upper = M == Mapping::Upper;
    const auto block = [](quint64 units) {
        return Upper ? fourUnits::upper(units) : fourUnits::lower(units);
    };
    convertFrom(s, n, i, block, [&](qsizetype k) {
        if (s[k] >= 0x80)
            return mapOther<M>(s, n, k);
        s[k] = Upper ? asciiUpper(s[k]) : asciiLower(s[k]);
        return k;
    });
}

// The text's units, for writing in place; null for an empty text.
char16_t *unitsOf(QString &text)
{
    return text.isEmpty() ? nullptr : reinterpret_cast<char16_t *>(text.data());
}

} // namespace

QString UpperCase(QString text)
{
    mapFrom<Mapping::Upper>(unitsOf(text), text.size(), 0);
    return text;
}

QString LowerCase(QString text)
{
    mapFrom<Mapping::Lower>(unitsOf(text), text.size(), 0);
    return text;
}

QString ProperCase(QString text)
{
    const qsizetype n = text.size();
    char16_t *s = unitsOf(text);
    bool capitalise = true;
    convertFrom(
        s, n, 0, [&](quint64 units) { return fourUnits::proper(units, capitalise); },
        [&](qsizetype k) {
            const char16_t c = s[k];
            if (c < 0x80) {
                s[k] = capitalise ? asciiUpper(c) : asciiLower(c);
                capitalise = IsWordSeparator(c);
                return k;
            }
            const qsizetype last =
                capitalise ? mapOther<Mapping::Title>(s, n, k) : mapOther<Mapping::Lower>(s, n, k);
            capitalise = false;
            return last;
        });
    return text;
}

QString SentenceCase(QString text)
{
    const qsizetype n = text.size();
    char16_t *s = unitsOf(text);
    if (n == 0)
        return text;
    // The first character is title-cased as it stands, not after lowering: "İ" keeps its dot.
    qsizetype rest = 1;
    if (s[0] < 0x80)
        s[0] = asciiUpper(s[0]);
    else
        rest = mapOther<Mapping::Title>(s, n, 0) + 1;
    mapFrom<Mapping::Lower>(s, n, rest);
    return text;
}

bool IsInOneCase(QStringView text)
{
    bool capital = false, small = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (c < 0x80) {
            capital = capital || (c >= u'A' && c <= u'Z');
            small = small || (c >= u'a' && c <= u'z');
        } else {
            if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
                c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
            // A mark may be cased (the Greek ypogegrammeni) and does not count; a modifier
            // letter is case-ignorable too.
            const quint8 flags = CaseRecordOf(c).flags;
            if ((flags & CaseRecord::Cased) && !(flags & CaseRecord::CaseIgnorable))
                (flags & CaseRecord::Lowercase ? small : capital) = true;
        }
        if (capital && small)
            return false;
    }
    return true;
}

namespace {

// The rule of a language other than Any, out of the way of the rule itself.
Q_NEVER_INLINE QString inLanguage(const CaseModeRow &row, QString text, const WordExceptions &words)
{
    return LanguageCase(row.mode, words.language(), std::move(text));
}

QString converted(const CaseModeRow &row, QString text, const WordExceptions *words)
{
    if (Q_UNLIKELY(words && words->language() != CaseLanguage::Any))
        text = inLanguage(row, std::move(text), *words);
    else
        text = row.rule(std::move(text));
    if (words && row.nameRules && words->nameRules())
        NameRules::Apply(text);
    if (words && row.wordList)
        words->apply(text);
    return text;
}

} // namespace

LeftAs LeftAsWritten(CaseMode mode, const QString &text, const WordExceptions *words)
{
    if (!words)
        return LeftAs::Converted;
    const bool kept = words->keeps(text);
    const bool mixed = !kept && words->leaveMixedCase() && !IsInOneCase(text);
    if ((!kept && !mixed) || converted(CaseModeOf(mode), text, words) == text)
        return LeftAs::Converted;
    return kept ? LeftAs::Kept : LeftAs::MixedCase;
}

QString ApplyCaseMode(CaseMode mode, QString text, const WordExceptions *words)
{
    if (words && (words->keeps(text) || (words->leaveMixedCase() && !IsInOneCase(text))))
        return text;
    return converted(CaseModeOf(mode), std::move(text), words);
}

QString CaseRulesUnicodeVersion()
{
    return QString::fromLatin1(CaseTablesUnicodeVersion);
}
