// What a change run, or its preview, is asked to do: the fields of a table to convert, the mode
// (none when the mode text held no mode word), the word exceptions that apply after Proper
// Case and Sentence case, whether the name rules go between Proper Case and the words, and the
// values it leaves as written: those in mixed case, when the option is on, and those kept; and
// the rows it changes.
#pragma once

#include "casing/caserules.h"
#include "casing/wordexceptions.h"
#include "db/tableref.h"

#include <QStringList>
#include <memory>
#include <optional>

struct CaseChange {
    TableRef table;
    QStringList fields;
    std::optional<CaseMode> mode;
    QStringList exceptionWords = {};
    bool nameRules = false;
    // Values written in mixed case are left as written.
    bool leaveMixedCase = false;
    // Values that stay as they are in every field, at the user's choice.
    QStringList keptValues = {};
    // The rows to change: an SQL condition on the table's rows as the user wrote it
    // (RowCondition); empty for every row.
    QString condition = {};
    // The language whose rules the mode follows.
    CaseLanguage language = CaseLanguage::Any;

    // What the change adds to the rule, for everything that converts a value of it.
    std::shared_ptr<const WordExceptions> options() const
    {
        return std::make_shared<const WordExceptions>(exceptionWords, nameRules, leaveMixedCase,
                                                      keptValues, language);
    }
};
