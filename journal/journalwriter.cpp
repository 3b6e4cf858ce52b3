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

// A delimiter of one byte when the values leave one free (they are most of what the journal
// keeps, and a delimiter comes with each), else one that certainly is.
QString delimiterFor(const QList<QString> &values)
{
    for (const char16_t unit : {u'\x1f', u'\x1e', u'\x1d', u'\x1c'}) {
        if (std::none_of(values.cbegin(), values.cend(),
                         [unit](const QString &value) { return value.contains(QChar(unit)); }))
            return QString(QChar(unit));
    }
    return UnusedDelimiter(values);
}

} // namespace

JournalWriter::JournalWriter(const JournalRun &run)
    : file_(std::make_unique<JournalFile>(run.file, JournalError::Action::Writing))
{
}

JournalWriter::~JournalWriter() = default;

void JournalWriter::record(const QString &relationSql, const QList<QString> &identities,
                           const QList<JournalField> &fields)
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
            QList<QString> all = pieceIds;
            for (const JournalField &field : fields)
                all += piece(field.olds) + piece(field.news);
            const QString delimiter = delimiterFor(all);
            // The first field goes with the rows, as in a journal of one field a chunk; the
            // others beside them.
            qint64 seq = 0;
            for (qsizetype k = 0; k < fields.size(); ++k) {
                const QString oldsJoined = piece(fields[k].olds).join(delimiter);
                const QByteArray olds = JournalPacking::PackTexts(oldsJoined);
                const QByteArray news =
                    JournalPacking::PackNews(oldsJoined, piece(fields[k].news).join(delimiter));
                if (k == 0)
                    seq = file_
                              ->exec(QStringLiteral("INSERT INTO change (field, relation, rows,"
                                                    " delimiter, identities, olds, news)"
                                                    " VALUES (?, ?, ?, ?, ?, ?, ?)"),
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
