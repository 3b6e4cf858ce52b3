#include "run/journalrecorder.h"

void JournalRecorder::record(const WriteTarget &target, const QList<QString> &identities,
                             const QList<QList<QString>> &olds, const QList<QList<QString>> &news)
{
    QList<JournalField> fields;
    for (qsizetype k = 0; k < target.fields.size(); ++k)
        fields.push_back({target.fields[k].name, olds.value(k), news.value(k)});
    try {
        writer_.record(target.relationSql, identities, fields);
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
