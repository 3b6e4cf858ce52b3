// The prefixes and which of them stay small within a name.
#include "casing/apostropheprefixes.h"

#include "casing/namewordtable.h"

namespace {

// Irish "O'", French and Italian "D'" and "L'", Italian "Dell'" and "Dall'", and "N'" of West
// African names ("Youssou N'Dour", "N'Golo Kanté").
constexpr const char *ApostropheWords[] = {"o", "d", "l", "dell", "dall", "n"};
// French particles: small unless they begin the name ("Jeanne d'Arc", but "D'Angelo").
constexpr const char *SmallWithinWords[] = {"d", "l"};

constexpr NameWordTable ApostropheWordTable(ApostropheWords);
constexpr NameWordTable SmallWithin(SmallWithinWords);

} // namespace

void ApostrophePrefixes::ApplyAt(NameWord &word, qsizetype at)
{
    qsizetype apostrophe = at;
    while (apostrophe < word.end && apostrophe - at < LongestPrefix &&
           !IsApostrophe(word.text[apostrophe]))
        ++apostrophe;
    if (apostrophe == at || apostrophe >= word.end || !IsApostrophe(word.text[apostrophe]) ||
        !word.letterAt(apostrophe + 1))
        return;
    const quint64 prefix = word.key(at, apostrophe);
    if (!ApostropheWordTable.contains(prefix))
        return;
    word.titleAt(apostrophe + 1);
    if (at == word.begin && !word.first && SmallWithin.contains(prefix))
        word.lowerAscii(at, apostrophe);
}
