#include "run/journalrecorder.h"

void JournalRecorder::record(const WriteTarget &target, const QList<QString> &identities,
                             const WriteRows &rows)
{
    // The rows' lists as joined for the statement, when it wrote them as they were sent (the
    // delimiter is empty otherwise).
    QList<JournalField> fields;
    for (qsizetype k = 0; k < target.fields.size(); ++k)
        fields.push_back({target.fields[k].name, rows.olds.value(k), rows.news.value(k),
                          rows.joinedValues(k, false), rows.joinedValues(k, true)});
    try {
        writer_.record(target.relationSql, identities, fields, rows.delimiter);
    } catch (const JournalError &error) {
        throw DbError(error.text());
    }
    if (recordedHook_)
        recordedHook_();
}

void JournalRecorder::forget()
{
    try {
        writer_.forget();
    } catch (const JournalError &error) {
        throw DbError(error.text());
    }
}
