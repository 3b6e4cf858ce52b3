// The case rules applied to an array of character values in its text form ("{abc,"d e",NULL}"),
// element by element: the braces, commas, quoting and NULL elements stay as they are, so the
// result reads back as the same array with every element converted.
#pragma once

#include "casing/caserules.h"

#include <QString>
#include <QStringView>
#include <optional>

class WordExceptions;

// The converted text form; none when the text is not the text form of an array (of any number
// of dimensions, with or without explicit bounds).
// The word exceptions, when given, apply to each element as they do to a value.
std::optional<QString> ApplyCaseModeToArrayText(CaseMode mode, QStringView text,
                                                const WordExceptions *words = nullptr);
