// The prefixes after which a name goes on with a capital: Scottish and Irish "Mc" only.
#include "casing/mcprefix.h"

#include "casing/namewordtable.h"

namespace {

constexpr const char *McWords[] = {"mc"};

constexpr NameWordTable McWordTable(McWords);

} // namespace

bool McPrefix::IsPrefix(const NameWord &word, qsizetype at)
{
    return McWordTable.contains(word.key(at, at + 2));
}
