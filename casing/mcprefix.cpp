// The prefixes after which a name goes on with a capital: Scottish and Irish "Mc" only.
#include "casing/mcprefix.h"

#include "casing/namewordtable.h"

namespace {

constexpr const char *PrefixWords[] = {"mc"};

constexpr NameWordTable Prefixes(PrefixWords);

} // namespace

bool McPrefix::IsPrefix(const NameWord &word, qsizetype at)
{
    return Prefixes.contains(word.key(at, at + 2));
}
