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

// What a unit is to the rules: a separator, or a mark that some rule looks for. A word's marks
// together tell which rules need to read it again.
enum UnitKind : quint8 {
    Plain = 0,
    Separator = 1,
    Hyphen = 2,
    Apostrophe = 4,
    FullStop = 8,
    Opening = 16
};

constexpr std::array<quint8, 128> AsciiKinds = [] {
    std::array<quint8, 128> kinds{};
    for (char c : {' ', '\t', '\r'})
        kinds[size_t(c)] = Separator;
    kinds['-'] = Hyphen;
    kinds['\''] = Apostrophe;
    kinds['.'] = FullStop;
    for (char c : {'(', '[', '{', '"'})
        kinds[size_t(c)] = Opening;
    return kinds;
}();

inline quint8 kindOf(char16_t c)
{
    if (c < 0x80)
        return AsciiKinds[c];
    if (HyphenParts::IsHyphen(c))
        return Hyphen;
    if (ApostrophePrefixes::IsApostrophe(c))
        return Apostrophe;
    return OpeningMarks::IsOpening(c) ? Opening : Plain;
}

// A word with marks: each part, the word after its opening marks and each part after a hyphen
// between letters, may begin with "Mc", an apostrophe prefix or initials.
void applyToParts(NameWord &word, quint8 marks)
{
    qsizetype part = marks & Opening ? OpeningMarks::Apply(word) : word.begin;
    bool firstPart = true;
    for (qsizetype k = marks & Hyphen ? part : word.end; k <= word.end; ++k) {
        if (k < word.end && !HyphenParts::IsHyphen(word.text[k]))
            continue;
        if (part < k) {
            McPrefix::ApplyAt(word, part);
            if (marks & Apostrophe)
                ApostrophePrefixes::ApplyAt(word, part);
            if (marks & FullStop)
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

void applyToWord(NameWord &word, quint8 marks)
{
    if (marks) {
        applyToParts(word, marks);
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
        quint8 marks = Plain;
        for (quint8 kind; i < n && (kind = kindOf(s[i])) != Separator; ++i)
            marks |= kind;
        const qsizetype end = i;
        while (i < n && kindOf(s[i]) == Separator)
            ++i;
        NameWord word{s, n, begin, end, first, i == n};
        applyToWord(word, marks);
        first = false;
    }
}
