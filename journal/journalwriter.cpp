#include "journal/journalwriter.h"

#include "db/sqlquote.h"
#include "journal/journalfile.h"
#include "journal/journalpacking.h"

#include <QVariant>
#include <algorithm>

namespace {

// A chunk is kept as pieces of at most this many rows and characters of old values, so that
// an undo can take one piece at a time into memory, whatever the size of the chunk.
constexpr qsizetype PieceRows = 1 << 16;
constexpr qsizetype PieceChars = 1 << 21;

} // namespace

JournalWriter::JournalWriter(const JournalRun &run)
    : file_(std::make_unique<JournalFile>(run.file, JournalError::Action::Writing))
{
}

JournalWriter::~JournalWriter() = default;

void JournalWriter::record(const QString &relationSql, const QList<QString> &identities,
                           const QList<JournalField> &fields, const QString &joinedBy)
{
    for (const JournalField &field : fields) {
        if (field.olds.size() != identities.size() || field.news.size() != identities.size())
            throw JournalError(JournalError::Action::Writing,
                               QStringLiteral("a chunk's identities, old and new values differ "
                                              "in number"));
    }
    lastRecorded_.reset();
    if (identities.isEmpty() || fields.isEmpty())
        return;
    std::optional<std::pair<qint64, qint64>> recorded;
    file_->begin();
    try {
        qsizetype from = 0;
        while (from < identities.size()) {
            qsizetype to = from;
            qsizetype chars = 0;
            while (to < identities.size() && to - from < PieceRows) {
                qsizetype rowChars = 0;
                for (const JournalField &field : fields)
                    rowChars += field.olds[to].size();
                if (to > from && chars + rowChars > PieceChars)
                    break;
                chars += rowChars;
                ++to;
            }
            const bool whole = from == 0 && to == identities.size();
            const auto piece = [&](const QList<QString> &list) {
                return whole ? list : list.mid(from, to - from);
            };
            const QList<QString> pieceIds = piece(identities);
            // The caller's joined lists serve a whole chunk when no identity holds their
            // delimiter either.
            const bool given =
                whole && !joinedBy.isEmpty() &&
                std::all_of(fields.cbegin(), fields.cend(),
                            [](const JournalField &field) {
                                return !field.oldsJoined.isNull() && !field.newsJoined.isNull();
                            }) &&
                std::none_of(pieceIds.cbegin(), pieceIds.cend(),
                             [&](const QString &id) { return id.contains(joinedBy); });
            QString delimiter = joinedBy;
            if (!given) {
                QList<QList<QString>> all{pieceIds};
                for (const JournalField &field : fields)
                    all << piece(field.olds) << piece(field.news);
                delimiter = UnusedDelimiter(all);
            }
            // The first field goes with the rows, as in a journal of one field a chunk; the
            // others beside them.
            qint64 seq = 0;
            for (qsizetype k = 0; k < fields.size(); ++k) {
                const QString oldsJoined =
                    given ? fields[k].oldsJoined : piece(fields[k].olds).join(delimiter);
                const QByteArray olds = JournalPacking::PackTexts(oldsJoined);
                const QByteArray news = JournalPacking::PackNews(
                    oldsJoined,
                    given ? fields[k].newsJoined : piece(fields[k].news).join(delimiter));
                if (k == 0)
                    seq = file_
                              ->exec(QStringLiteral("INSERT INTO change (field, relation, rows,"
                                                    " delimiter, identities, olds, news, pending)"
                                                    " VALUES (?, ?, ?, ?, ?, ?, ?, 1)"),
                                     {fields[k].name, relationSql, qint64(to - from), delimiter,
                                      JournalPacking::PackTexts(pieceIds.join(delimiter)), olds,
                                      news})
                              .lastInsertId()
                              .toLongLong();
                else
                    file_->exec(QStringLiteral("INSERT INTO change_field (seq, position, field,"
                                               " olds, news) VALUES (?, ?, ?, ?, ?)"),
                                {seq, qint64(k), fields[k].name, olds, news});
            }
            recorded = {recorded ? recorded->first : seq, seq};
            from = to;
        }
        file_->commit();
    } catch (...) {
        file_->rollback();
        throw;
    }
    lastRecorded_ = recorded;
}

void JournalWriter::forget()
{
    if (!lastRecorded_)
        return;
    file_->begin();
    try {
        for (const QString &table : {QStringLiteral("change"), QStringLiteral("change_field")})
            file_->exec(QStringLiteral("DELETE FROM %1 WHERE seq BETWEEN ? AND ?").arg(table),
                        {lastRecorded_->first, lastRecorded_->second});
        file_->commit();
    } catch (...) {
        file_->rollback();
        throw;
    }
    lastRecorded_.reset();
}

void JournalWriter::committed()
{
    if (!lastRecorded_)
        return;
    // The mark needs no wait for the disk: one that a crash loses only leaves the chunk pending.
    try {
        file_->exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        file_->exec(QStringLiteral("UPDATE change SET pending = 0 WHERE seq BETWEEN ? AND ?"),
                    {lastRecorded_->first, lastRecorded_->second});
    } catch (const JournalError &) {
        // The chunk stays pending; its undo settles it.
    }
    lastRecorded_.reset();
    try {
        file_->exec(QStringLiteral("PRAGMA synchronous = FULL"));
    } catch (const JournalError &) {
        // The connection fails; so does the next record, before its chunk is written.
    }
}
