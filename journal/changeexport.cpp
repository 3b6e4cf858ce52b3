#include "journal/changeexport.h"

#include "journal/journalreader.h"

#include "jobs/csvfile.h"

qint64 ExportChanges(const JournalRun &run, const QString &path)
{
    try {
        CsvFile file(path, {QStringLiteral("identity"), QStringLiteral("field"),
                            QStringLiteral("old value"), QStringLiteral("new value"),
                            QStringLiteral("state")});
        qint64 lines = 0;
        JournalReader reader(run, JournalReader::Chunks::AllOldestFirst);
        while (const std::optional<JournalChunk> chunk = reader.next()) {
            const QStringList identities = chunk->identities.split(chunk->delimiter);
            const QString state =
                chunk->pending ? QStringLiteral("unknown") : QStringLiteral("written");
            for (const JournalChunk::Field &field : chunk->fields) {
                const QStringList olds = field.olds.split(chunk->delimiter);
                const QStringList news = field.news.split(chunk->delimiter);
                for (qsizetype i = 0; i < identities.size() && i < olds.size() && i < news.size();
                     ++i) {
                    // A row's field that the chunk did not write has the empty text as both
                    // values.
                    if (olds[i].isEmpty() && news[i].isEmpty())
                        continue;
                    file.write({identities[i], field.name, olds[i], news[i], state});
                    ++lines;
                }
            }
        }
        file.commit();
        return lines;
    } catch (const CsvFileError &error) {
        throw JournalError(JournalError::Action::Writing, error.text());
    }
}
