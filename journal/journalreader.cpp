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
JournalReader::JournalReader(const JournalRun &run, Chunks chunks)
    : path_(run.file), file_(std::make_unique<JournalFile>(run.file, JournalError::Action::Reading,
                                                           JournalFile::Sync::Normal)),
      chunks_(chunks)
{
    // The journal of a run gets its table of undone chunks with its first undo, also a journal
    // of the first layout.
    file_->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS undone_chunk"
                               " (seq INTEGER PRIMARY KEY, restored INTEGER NOT NULL)"));
    file_->exec(
        QStringLiteral("CREATE TABLE IF NOT EXISTS undoing_chunk (seq INTEGER PRIMARY KEY)"));
    QSqlQuery query =
        file_->exec(QStringLiteral("SELECT coalesce(sum(restored), 0) FROM undone_chunk"));
    restoredEarlier_ = query.next() ? query.value(0).toLongLong() : 0;
    severalFields_ = file_->hasColumn(QStringLiteral("change_field"), QStringLiteral("seq"));
    pendingKept_ = file_->hasColumn(QStringLiteral("change"), QStringLiteral("pending"));
}

QString JournalChunk::fieldNames() const
{
    QStringList names;
    for (const Field &field : fields)
        names << field.name;
    return names.join(QChar(0));
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
    const QString columns =
        QStringLiteral("SELECT seq, field, relation, rows, delimiter, identities, olds, news, %1,"
                       " seq IN (SELECT seq FROM undoing_chunk) FROM change WHERE ")
            .arg(pendingKept_ ? QStringLiteral("pending") : QStringLiteral("0")) +
        (chunks_ == Chunks::AllOldestFirst ? QStringLiteral("true") : NotUndone);
    const bool oldestFirst = chunks_ == Chunks::AllOldestFirst;
    QSqlQuery query =
        before_
            ? file_->exec(columns + (oldestFirst
                                         ? QStringLiteral(" AND seq > ? ORDER BY seq LIMIT 1")
                                         : QStringLiteral(" AND seq < ? ORDER BY seq DESC"
                                                          " LIMIT 1")),
                          {*before_})
            : file_->exec(columns + (oldestFirst ? QStringLiteral(" ORDER BY seq LIMIT 1")
                                                 : QStringLiteral(" ORDER BY seq DESC LIMIT 1")));
    if (!query.next())
        return std::nullopt;
    JournalChunk chunk;
    chunk.seq = query.value(0).toLongLong();
    chunk.relationSql = query.value(2).toString();
    chunk.rows = query.value(3).toLongLong();
    chunk.delimiter = query.value(4).toString();
    chunk.identities = JournalPacking::UnpackTexts(query.value(5).toByteArray());
    chunk.pending = query.value(8).toBool();
    chunk.undoing = query.value(9).toBool();
    chunk.fields.push_back(field(chunk.seq, query.value(1).toString(), query.value(6).toByteArray(),
                                 query.value(7).toByteArray()));
    if (severalFields_) {
        QSqlQuery others = file_->exec(QStringLiteral("SELECT field, olds, news FROM change_field"
                                                      " WHERE seq = ? ORDER BY position"),
                                       {chunk.seq});
        while (others.next())
            chunk.fields.push_back(field(chunk.seq, others.value(0).toString(),
                                         others.value(1).toByteArray(),
                                         others.value(2).toByteArray()));
    }
    before_ = chunk.seq;
    return chunk;
}

JournalChunk::Field JournalReader::field(qint64 seq, const QString &name, const QByteArray &olds,
                                         const QByteArray &news) const
{
    JournalChunk::Field field{name, JournalPacking::UnpackTexts(olds), QString()};
    const std::optional<QString> unpacked = JournalPacking::UnpackNews(field.olds, news);
    if (!unpacked)
        throw JournalError(
            JournalError::Action::Reading,
            QStringLiteral("%1: its chunk %2 is damaged").arg(path_, QString::number(seq)));
    field.news = *unpacked;
    return field;
}

bool JournalReader::markUndoing(qint64 seq)
{
    try {
        file_->exec(QStringLiteral("INSERT OR IGNORE INTO undoing_chunk (seq) VALUES (?)"), {seq});
        return true;
    } catch (const JournalError &) {
        return false;
    }
}

bool JournalReader::markUndone(qint64 seq, qint64 restored)
{
    try {
        file_->begin();
        file_->exec(QStringLiteral("INSERT OR REPLACE INTO undone_chunk (seq, restored)"
                                   " VALUES (?, ?)"),
                    {seq, restored});
        file_->exec(QStringLiteral("DELETE FROM undoing_chunk WHERE seq = ?"), {seq});
        file_->commit();
        return true;
    } catch (const JournalError &) {
        file_->rollback();
        return false;
    }
}
