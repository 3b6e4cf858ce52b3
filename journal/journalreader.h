// Reads a run's journal back for its undo: the chunks it wrote, newest first, one at a time, so
// that memory stays bounded whatever the size of the run; and keeps track of how far the undo
// has come, so that an undo that was stopped goes on where it ended.
#pragma once

#include "journal/changejournal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class JournalFile;

// One chunk as the journal keeps it: the rows' identities and, for each field the chunk wrote,
// their old and new values, each list joined by the delimiter, which occurs in none of them. A
// row's field that the chunk did not write has the empty text as both values.
struct JournalChunk {
    struct Field {
        QString name;
        QString olds, news;
    };

    qint64 seq = 0;
    QString relationSql;
    qint64 rows = 0;
    QString delimiter;
    QString identities;
    QList<Field> fields; // a chunk of a run from before one pass wrote several fields has one
    // The run's commit of it never said how it went: written or not, all its rows alike.
    bool pending = false;
    // An undo began to restore it and ended before it could say how that went: restored or not,
    // as one statement restores the chunk.
    bool undoing = false;

    // The fields' names, by which the chunks of one pass are known.
    QString fieldNames() const;
};

class JournalReader
{
public:
    // What next() gives: the chunks an undo has still to restore, newest first; or every chunk
    // of the run, undone or not, oldest first, for an export of what it wrote.
    enum class Chunks { NotUndoneNewestFirst, AllOldestFirst };

    // Opens the run's file in this thread; throws JournalError.
    explicit JournalReader(const JournalRun &run, Chunks chunks = Chunks::NotUndoneNewestFirst);
    ~JournalReader();

    // Rows of the chunks not yet undone.
    qint64 rowsLeft();

    // Rows that earlier undos of the run restored before they ended early.
    qint64 rowsRestoredEarlier() const { return restoredEarlier_; }

    // The newest chunk not yet undone and not yet read; none at the end. Throws JournalError.
    std::optional<JournalChunk> next();

    // Records that an undo begins to restore the chunk, before its statement is sent: an undo
    // that is cut off then leaves the chunk marked, which the next undo settles. False when that
    // could not be written, which only takes the help away.
    bool markUndoing(qint64 seq);

    // Records that the chunk is undone, with the rows of it that were restored; false when
    // that could not be written. Chunks are marked one by one: two writers finish them in no
    // set order, and one may fail while the other goes on. The mark only spares an undo that
    // goes on later the rows already restored (it would find them holding their old values and
    // leave them alone) and lets it say how many there were, so losing it does no harm.
    bool markUndone(qint64 seq, qint64 restored);

private:
    QString path_;
    std::unique_ptr<JournalFile> file_;
    JournalChunk::Field field(qint64 seq, const QString &name, const QByteArray &olds,
                              const QByteArray &news) const;

    Chunks chunks_;
    std::optional<qint64> before_; // chunks from this seq on are read (after it, oldest first)
    qint64 restoredEarlier_ = 0;
    bool severalFields_ = false; // the file may hold chunks of several fields
    bool pendingKept_ = false;   // the file says which chunks are pending
};
