// Most words of most names are plain ("Smith", "Anna"): one pass over the units finds the words
// and notes whether a word holds a hyphen, an apostrophe, a full stop or an opening mark; only
// such a word is read again, part by part. The other rules look at a word's length and first
// units before they look it up in their tables.
#include "casing/namerules.h"

#include "casing/apostropheprefixes.h"
#include "casing/eastasiangivennames.h"
#include "casing/hyphenparts.h"
#include "casing/mcprefix.h"
#include "casing/nameinitials.h"
#include "casing/nameparticles.h"
#include "casing/openingmarks.h"
#include "casing/romannumerals.h"

#include <array>

namespace {

enum UnitKind : quint8 { Plain, Separator, Mark };

// Proper Case's separators, and the ASCII marks that some rule looks for.
constexpr std::array<quint8, 128> AsciiKinds = [] {
    std::array<quint8, 128> kinds{};
    for (char c : {' ', '\t', '\r'})
        kinds[size_t(c)] = Separator;
    for (char c : {'-', '\'', '.', '(', '[', '{', '"'})
        kinds[size_t(c)] = Mark;
    return kinds;
}();

inline UnitKind kindOf(char16_t c)
{
    if (c < 0x80)
        return UnitKind(AsciiKinds[c]);
    return HyphenParts::IsHyphen(c) || ApostrophePrefixes::IsApostrophe(c) ||
                   OpeningMarks::IsOpening(c)
               ? Mark
               : Plain;
}

// A word with marks: each part, the word after its opening marks and each part after a hyphen
// between letters, may begin with "Mc", an apostrophe prefix or initials.
void applyToParts(NameWord &word)
{
    qsizetype part = OpeningMarks::Apply(word);
    bool firstPart = true;
    for (qsizetype k = part; k <= word.end; ++k) {
        if (k < word.end && !HyphenParts::IsHyphen(word.text[k]))
            continue;
        if (part < k) {
            McPrefix::ApplyAt(word, part);
            ApostrophePrefixes::ApplyAt(word, part);
            NameInitials::ApplyAt(word, part);
        }
        if (k == word.end)
            break;
        if (firstPart && part == word.begin)
            HyphenParts::SmallArticle(word, k);
        if (!EastAsianGivenNames::KeepsSmall(word, part, k))
            HyphenParts::CapitalAfter(word, k);
        firstPart = false;
        part = k + 1;
    }
}

void applyToWord(NameWord &word, bool marks)
{
    if (marks) {
        applyToParts(word);
        return;
    }
    McPrefix::ApplyAt(word, word.begin);
    NameParticles::Apply(word);
    RomanNumerals::Apply(word);
}

} // namespace

void NameRules::Apply(QString &text)
{
    const qsizetype n = text.size();
    if (n == 0)
        return;
    char16_t *s = reinterpret_cast<char16_t *>(text.data());
    qsizetype i = 0;
    while (i < n && kindOf(s[i]) == Separator)
        ++i;
    bool first = true;
    while (i < n) {
        const qsizetype begin = i;
        bool marks = false;
        for (UnitKind kind; i < n && (kind = kindOf(s[i])) != Separator; ++i)
            marks |= kind == Mark;
        const qsizetype end = i;
        while (i < n && kindOf(s[i]) == Separator)
            ++i;
        NameWord word{s, n, begin, end, first, i == n};
        applyToWord(word, marks);
        first = false;
    }
}
