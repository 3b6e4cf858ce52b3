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

// One field's values in a chunk, in the order of its identities: both empty for a row whose
// field the chunk did not write. The caller may give the lists joined already as well.
struct JournalField {
    QString name;
    QList<QString> olds, news;
    QString oldsJoined, newsJoined; // joined by record()'s joinedBy, or null
};

class JournalWriter
{
public:
    // Opens the run's file (made by ChangeJournal::Begin); throws JournalError.
    explicit JournalWriter(const JournalRun &run);
    ~JournalWriter();

    // Appends one chunk's rows, written in the physical relation relationSql
    // ("schema"."name"): for each row its identity (RowIdentity::sql() of the row as written)
    // and, for each field, the old and the new value, in their text forms. All in one
    // transaction, and on the disk when it returns: call it before the chunk's change is
    // committed on the server. Throws JournalError on any failure (also for lists of unequal
    // length); then nothing of the chunk is recorded. Lists joined by joinedBy, which no value
    // holds, spare joining them again.
    void record(const QString &relationSql, const QList<QString> &identities,
                const QList<JournalField> &fields, const QString &joinedBy = QString());
    // The same for a chunk of one field.
    void record(const QString &field, const QString &relationSql, const QList<QString> &identities,
                const QList<QString> &olds, const QList<QString> &news)
    {
        record(relationSql, identities, {{field, olds, news, {}, {}}});
    }

    // Takes the rows of the last record() out again, for a chunk whose change the server did
    // not commit after all. Throws JournalError.
    void forget();

    // The server's commit of the last record()'s chunk has returned: the chunk is no longer
    // pending. A mark that is lost (the program ends before it reaches the disk) leaves the
    // chunk pending, which the undo then settles against the table: no harm. Never throws.
    void committed();

private:
    std::unique_ptr<JournalFile> file_;
    // The places of the last record()'s rows in the file: one transaction holds the file's
    // write lock, so they follow each other.
    std::optional<std::pair<qint64, qint64>> lastRecorded_;
};
