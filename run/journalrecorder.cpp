#include "run/journalrecorder.h"

void JournalRecorder::record(const WriteTarget &target, const QList<QString> &identities,
                             const WriteRows &rows)
{
    // The rows' lists as joined for the statement, when it wrote them as they were sent.
    const qsizetype joined = rows.byPlace() ? 1 : 0;
    const bool given = rows.joined.size() == joined + 2 * rows.fields();
    QList<JournalField> fields;
    for (qsizetype k = 0; k < target.fields.size(); ++k) {
        fields.push_back({target.fields[k].name, rows.olds.value(k), rows.news.value(k),
                          given ? rows.joined[joined + 2 * k] : QString(),
                          given ? rows.joined[joined + 2 * k + 1] : QString()});
    }
    try {
        writer_.record(target.relationSql, identities, fields, given ? rows.delimiter : QString());
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
