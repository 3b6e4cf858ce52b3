// What a change run, or its preview, is asked to do: the fields of a table to convert, the mode
// (none when the mode text held no mode word), the word exceptions that apply after Proper
// Case and Sentence case, and whether the name rules go between Proper Case and the words.
#pragma once

#include "casing/caserules.h"
#include "db/tableref.h"

#include <QStringList>
#include <optional>

struct CaseChange {
    TableRef table;
    QStringList fields;
    std::optional<CaseMode> mode;
    QStringList exceptionWords = {};
    bool nameRules = false;
};
