#include "journal/changeexport.h"

#include "journal/journalreader.h"

#include <QSaveFile>

QString CsvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

qint64 ExportChanges(const JournalRun &run, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw JournalError(JournalError::Action::Writing,
                           QStringLiteral("%1: %2").arg(path, file.errorString()));
    const auto write = [&](const QString &line) {
        const QByteArray bytes = (line + QStringLiteral("\r\n")).toUtf8();
        if (file.write(bytes) != bytes.size())
            throw JournalError(JournalError::Action::Writing,
                               QStringLiteral("%1: %2").arg(path, file.errorString()));
    };
    file.write("\xEF\xBB\xBF");
    write(QStringLiteral("identity,field,old value,new value,state"));
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
                // A row's field that the chunk did not write has the empty text as both values.
                if (olds[i].isEmpty() && news[i].isEmpty())
                    continue;
                write(QStringList{CsvField(identities[i]), CsvField(field.name), CsvField(olds[i]),
                                  CsvField(news[i]), state}
                          .join(u','));
                ++lines;
            }
        }
    }
    if (!file.commit())
        throw JournalError(JournalError::Action::Writing,
                           QStringLiteral("%1: %2").arg(path, file.errorString()));
    return lines;
}
