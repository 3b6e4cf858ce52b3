#include "run/journalrecorder.h"

void JournalRecorder::record(const WriteTarget &target, const QList<QString> &identities,
                             const QList<QString> &olds, const QList<QString> &news)
{
    try {
        writer_.record(target.fieldName, target.relationSql, identities, olds, news);
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
