// Appends what a change run writes to the run's journal file. One writer per thread that writes
// the run: each has a connection of its own, made, used and closed in the thread that makes the
// writer. Writers of the same run may append side by side.
#pragma once

#include "journal/changejournal.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <utility>

class JournalFile;

class JournalWriter
{
public:
    // Opens the run's file (made by ChangeJournal::Begin); throws JournalError.
    explicit JournalWriter(const JournalRun &run);
    ~JournalWriter();

    // Appends one chunk's rows of one field, written in the physical relation relationSql
    // ("schema"."name"): for each row its identity (RowIdentity::sql() of the row as written),
    // the old and the new value, in their text forms. All in one transaction, and on the disk
    // when it returns: call it before the chunk's change is committed on the server. Throws
    // JournalError on any failure (also for lists of unequal length); then nothing of the chunk
    // is recorded.
    void record(const QString &field, const QString &relationSql, const QList<QString> &identities,
                const QList<QString> &olds, const QList<QString> &news);

    // Takes the rows of the last record() out again, for a chunk whose change the server did
    // not commit after all. Throws JournalError.
    void forget();

private:
    std::unique_ptr<JournalFile> file_;
    // The places of the last record()'s rows in the file: one transaction holds the file's
    // write lock, so they follow each other.
    std::optional<std::pair<qint64, qint64>> lastRecorded_;
};
