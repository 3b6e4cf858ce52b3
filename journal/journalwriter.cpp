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

void JournalWriter::record(const QString &field, const QString &relationSql,
                           const QList<QString> &identities, const QList<QString> &olds,
                           const QList<QString> &news)
{
    if (identities.size() != olds.size() || olds.size() != news.size())
        throw JournalError(JournalError::Action::Writing,
                           QStringLiteral("a chunk's identities, old and new values differ in "
                                          "number"));
    lastRecorded_.reset();
    if (olds.isEmpty())
        return;
    std::optional<std::pair<qint64, qint64>> recorded;
    file_->begin();
    try {
        qsizetype from = 0;
        while (from < olds.size()) {
            qsizetype to = from;
            qsizetype chars = 0;
            while (to < olds.size() && to - from < PieceRows &&
                   (to == from || chars + olds[to].size() <= PieceChars))
                chars += olds[to++].size();
            const bool whole = from == 0 && to == olds.size();
            const QList<QString> pieceIds = whole ? identities : identities.mid(from, to - from);
            const QList<QString> pieceOlds = whole ? olds : olds.mid(from, to - from);
            const QList<QString> pieceNews = whole ? news : news.mid(from, to - from);
            const QString delimiter = delimiterFor(pieceIds + pieceOlds + pieceNews);
            const QString oldsJoined = pieceOlds.join(delimiter);
            const QSqlQuery query =
                file_->exec(QStringLiteral("INSERT INTO change (field, relation, rows, delimiter,"
                                           " identities, olds, news) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                            {field, relationSql, qint64(to - from), delimiter,
                             JournalPacking::PackTexts(pieceIds.join(delimiter)),
                             JournalPacking::PackTexts(oldsJoined),
                             JournalPacking::PackNews(oldsJoined, pieceNews.join(delimiter))});
            const qint64 seq = query.lastInsertId().toLongLong();
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
    file_->exec(QStringLiteral("DELETE FROM change WHERE seq BETWEEN ? AND ?"),
                {lastRecorded_->first, lastRecorded_->second});
    lastRecorded_.reset();
}
