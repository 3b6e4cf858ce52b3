// What the server may leave out when it reads values for a rule: a value of ASCII characters
// only, on which the ASCII-only case mapping of the "C" collation (or, for Proper and Sentence,
// a pattern of ASCII letters) changes nothing. Every other value is sent and the rule itself
// decides. Shared by the change run and everything that reads the way it does.
#pragma once

#include "casing/caserules.h"

#include <QString>

// The condition (SQL) on a text expression that the rule may change it; "true" outside UTF-8
// databases, where a value's octet length does not tell whether it is all ASCII.
QString MayChangeSql(CaseMode mode, bool utf8, const QString &value);

// The condition (SQL) on a text expression of ASCII characters only that the rule changes it:
// the mode's ASCII mapping or pattern (casemodes.h), exact on such values and of no meaning on
// others; the preview counts ASCII values by it alone. "true" for a mode with neither.
QString AsciiChangeSql(CaseMode mode, const QString &value);

// Whether the server can tell of a value of ASCII characters only whether the rule changes it.
inline bool ServerJudgesAscii(CaseMode mode)
{
    const CaseModeRow &row = CaseModeOf(mode);
    return row.asciiMapping != CaseModeRow::AsciiMapping::None || !row.asciiChanges.isEmpty();
}
