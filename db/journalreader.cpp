#include "db/journalreader.h"

#include "db/journalfile.h"
#include "db/journalpacking.h"

#include <QVariant>

// Marks of progress are only a help for an undo that goes on later: their commits need not
// wait for the disk.
JournalReader::JournalReader(const JournalRun &run)
    : path_(run.file), file_(std::make_unique<JournalFile>(run.file, JournalError::Action::Reading,
                                                           JournalFile::Sync::Normal))
{
    // A journal of the first version gets the column for the count on its first undo; a file
    // that cannot take it is undone all the same, without the count.
    countsRestored_ = file_->hasColumn(QStringLiteral("run"), QStringLiteral("rows_restored"));
    if (!countsRestored_) {
        try {
            file_->exec(QStringLiteral("ALTER TABLE run ADD COLUMN rows_restored INTEGER"
                                       " DEFAULT 0"));
            countsRestored_ = true;
        } catch (const JournalError &) {
        }
    }
    QSqlQuery query = file_->exec(
        QStringLiteral("SELECT undone_from, %1 FROM run")
            .arg(countsRestored_ ? QStringLiteral("rows_restored") : QStringLiteral("0")));
    if (query.next()) {
        if (!query.value(0).isNull())
            before_ = query.value(0).toLongLong();
        restoredEarlier_ = query.value(1).toLongLong();
    }
}

JournalReader::~JournalReader() = default;

qint64 JournalReader::rowsLeft()
{
    QSqlQuery query = before_ ? file_->exec(QStringLiteral("SELECT sum(rows) FROM change"
                                                           " WHERE seq < ?"),
                                            {*before_})
                              : file_->exec(QStringLiteral("SELECT sum(rows) FROM change"));
    return query.next() ? query.value(0).toLongLong() : 0;
}

std::optional<JournalChunk> JournalReader::next()
{
    static const QString columns =
        QStringLiteral("SELECT seq, field, relation, rows, delimiter, identities, olds, news"
                       " FROM change ");
    QSqlQuery query =
        before_ ? file_->exec(columns + QStringLiteral("WHERE seq < ? ORDER BY seq DESC LIMIT 1"),
                              {*before_})
                : file_->exec(columns + QStringLiteral("ORDER BY seq DESC LIMIT 1"));
    if (!query.next())
        return std::nullopt;
    JournalChunk chunk;
    chunk.seq = query.value(0).toLongLong();
    chunk.field = query.value(1).toString();
    chunk.relationSql = query.value(2).toString();
    chunk.rows = query.value(3).toLongLong();
    chunk.delimiter = query.value(4).toString();
    chunk.identities = JournalPacking::UnpackTexts(query.value(5).toByteArray());
    chunk.olds = JournalPacking::UnpackTexts(query.value(6).toByteArray());
    const std::optional<QString> news =
        JournalPacking::UnpackNews(chunk.olds, query.value(7).toByteArray());
    if (!news)
        throw JournalError(JournalError::Action::Reading,
                           QStringLiteral("%1: its chunk %2 is damaged").arg(path_).arg(chunk.seq));
    chunk.news = *news;
    before_ = chunk.seq;
    return chunk;
}

bool JournalReader::markUndone(qint64 seq, qint64 restored)
{
    try {
        if (countsRestored_)
            file_->exec(QStringLiteral("UPDATE run SET undone_from = ?, rows_restored = ?"),
                        {seq, restoredEarlier_ + restored});
        else
            file_->exec(QStringLiteral("UPDATE run SET undone_from = ?"), {seq});
        return true;
    } catch (const JournalError &) {
        return false;
    }
}
