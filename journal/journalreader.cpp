#include "journal/journalreader.h"

#include "journal/journalfile.h"
#include "journal/journalpacking.h"

#include <QVariant>

namespace {

// Chunks not yet undone: not from the seq on that an undo of the first layout marked (a single
// bound), and not among those marked one by one.
const QString NotUndone =
    QStringLiteral("seq < coalesce((SELECT undone_from FROM run), 9223372036854775807)"
                   " AND seq NOT IN (SELECT seq FROM undone_chunk)");

} // namespace

// Marks of progress are only a help for an undo that goes on later: their commits need not
// wait for the disk.
JournalReader::JournalReader(const JournalRun &run)
    : path_(run.file), file_(std::make_unique<JournalFile>(run.file, JournalError::Action::Reading,
                                                           JournalFile::Sync::Normal))
{
    // The journal of a run gets its table of undone chunks with its first undo, also a journal
    // of the first layout.
    file_->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS undone_chunk"
                               " (seq INTEGER PRIMARY KEY, restored INTEGER NOT NULL)"));
    QSqlQuery query =
        file_->exec(QStringLiteral("SELECT coalesce(sum(restored), 0) FROM undone_chunk"));
    restoredEarlier_ = query.next() ? query.value(0).toLongLong() : 0;
}

JournalReader::~JournalReader() = default;

qint64 JournalReader::rowsLeft()
{
    QSqlQuery query =
        file_->exec(QStringLiteral("SELECT coalesce(sum(rows), 0) FROM change WHERE ") + NotUndone);
    return query.next() ? query.value(0).toLongLong() : 0;
}

std::optional<JournalChunk> JournalReader::next()
{
    static const QString columns =
        QStringLiteral("SELECT seq, field, relation, rows, delimiter, identities, olds, news"
                       " FROM change WHERE ") +
        NotUndone;
    QSqlQuery query =
        before_ ? file_->exec(columns + QStringLiteral(" AND seq < ? ORDER BY seq DESC LIMIT 1"),
                              {*before_})
                : file_->exec(columns + QStringLiteral(" ORDER BY seq DESC LIMIT 1"));
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
        file_->exec(QStringLiteral("INSERT OR REPLACE INTO undone_chunk (seq, restored)"
                                   " VALUES (?, ?)"),
                    {seq, restored});
        return true;
    } catch (const JournalError &) {
        return false;
    }
}
