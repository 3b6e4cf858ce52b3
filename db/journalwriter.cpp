#include "db/journalwriter.h"

#include "db/journalfile.h"
#include "db/sqlquote.h"

#include <QVariant>

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

void JournalWriter::record(const QString &field, const QString &relationSql,
                           const QList<QString> &identities, const QList<QString> &olds,
                           const QList<QString> &news)
{
    if (identities.size() != olds.size() || olds.size() != news.size())
        throw JournalError(JournalError::Action::Writing,
                           QStringLiteral("a chunk's identities, old and new values differ in "
                                          "number"));
    if (olds.isEmpty())
        return;
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
            const QString delimiter = UnusedDelimiter(pieceIds + pieceOlds + pieceNews);
            file_->exec(QStringLiteral("INSERT INTO change (field, relation, rows, delimiter,"
                                       " identities, olds, news) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                        {field, relationSql, qint64(to - from), delimiter,
                         JournalFile::Pack(pieceIds.join(delimiter)),
                         JournalFile::Pack(pieceOlds.join(delimiter)),
                         JournalFile::Pack(pieceNews.join(delimiter))});
            from = to;
        }
        file_->commit();
    } catch (...) {
        file_->rollback();
        throw;
    }
}
