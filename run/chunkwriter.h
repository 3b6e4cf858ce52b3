// Writes a change run's chunks on a session and thread of its own. A run keeps two of them
// busy at once, so that the server writes two chunks side by side.
#pragma once

#include "db/connectionsettings.h"
#include "db/dberror.h"
#include "db/sessionworker.h"
#include "run/chunkreader.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class CancelGroup;
class DbSession;

// A field as a statement writes it.
struct TargetField {
    QString name;           // for the record of what is written
    QString sql;            // the quoted column
    QString typeSql;        // its type, for the cast of the new text
    bool plainText = false; // text or varchar: the value is its own text form
};

// Where a chunk's items are written: the writer makes from it the statement for a whole chunk
// and the function that tries its items one by one.
struct WriteTarget {
    QString relation; // what the UPDATE names: ONLY "schema"."table", or a partitioned parent
    // Further conditions on the row t: the partition it is in, the run's row condition; "true"
    // or empty for none.
    QString filter;
    QList<TargetField> fields;
    // For the record of what is written: the physical relation the rows are in
    // ("schema"."name"), and SQL giving the identity of row t as written; empty when nothing is
    // recorded.
    QString relationSql;
    QString identity;
    QChar identitySeparator; // that no identity's text holds; null when any character may be
    // For rows known by a key rather than by their place (a foreign table, whose rows live on
    // another server): the key's one column, quoted, and its type; empty otherwise.
    QString keySql;
    QString keyTypeSql;

    bool byKey() const { return !keySql.isEmpty(); }
};

// Receives, in the writer's thread and before the statement's change is committed, the rows it
// wrote: each row's identity and its values per field of the target, old and new (both empty
// where the row's field was not written), in the identities' order. A failure (a DbError) rolls
// the statement back and ends the run, so that no committed change goes unrecorded.
class RowRecorder
{
public:
    virtual ~RowRecorder() = default;
    virtual void record(const WriteTarget &target, const QList<QString> &identities,
                        const WriteRows &rows) = 0;
    // The rows of the last record() were not written after all: the server refused the
    // statement's commit. A failure (a DbError) ends the run.
    virtual void forget() = 0;
    // The statement's commit of the last record()'s rows has returned: they are written.
    virtual void committed() = 0;
};
// Makes a writer's recorder in the writer's own thread; none records nothing.
using RowRecorderFactory = std::function<std::unique_ptr<RowRecorder>()>;

// One chunk's items and the rows they may be written to.
struct WriteJob {
    WriteTarget target;
    // The chunk's physical range, [first, end) as tids "(block,offset)"; none for a write to
    // the whole table.
    std::optional<std::pair<QString, QString>> range;
    WriteRows rows;
};

// An item that found fewer rows than were read with it: its old and new values per field of the
// target (both empty for a field it leaves as it is) and the rows it did not find. A row that
// another client changed or moved meanwhile is written later by a write to the whole table that
// matches the old values; one whose values another client changed is left as that client made it.
struct MissingRows {
    QList<QString> olds, news;
    qint64 rows = 0;
};

// An item the server refused: its key (WriteRows::key()), the server's text and its rows.
struct RefusedItem {
    QString key;
    QString text;
    qint64 rows = 0;
};

struct WriteResult {
    qint64 rowsWritten = 0;
    QList<MissingRows> missing;
    QList<RefusedItem> refused;
    // Rows left as another client made them: of a write that is not tried again (by key),
    // those its items did not find.
    qint64 rowsLeftChanged = 0;
    std::optional<DbError> failure; // a failure that ends the run
};

class ChunkWriter
{
public:
    // Settings for the session: the statement time-out in seconds and the SET statements
    // that the run's writing needs. The session belongs to the run's cancel group.
    ChunkWriter(const ConnectionSettings &settings, int timeout, const QStringList &setup,
                CancelGroup &cancel, RowRecorderFactory recorder = {});
    ~ChunkWriter() = default; // lets a statement in flight finish, then closes

    ChunkWriter(const ChunkWriter &) = delete;
    ChunkWriter &operator=(const ChunkWriter &) = delete;

    // One job at a time: each submit() is followed by a wait().
    void submit(WriteJob job);
    WriteResult wait();

    // The condition on row alias t of a physical range [first, end), as tids "(block,offset)".
    static QString RangeSql(const QString &first, const QString &end);

    // What a statement wrote: the item of each row, its mask of the fields written and, when
    // it is recorded, its identity.
    struct Written {
        QList<qsizetype> items;
        QList<int> masks;
        QList<QString> identities;
    };

private:
    // Runs a statement and its record in a transaction of their own when a recorder is there.
    // Remote says that the statement writes through a foreign-data wrapper.
    template <typename Statement>
    void recorded(DbSession &session, bool remote, Statement statement);
    WriteResult write(DbSession &session, const WriteJob &job);
    void writeWhole(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                    WriteResult &result);
    static QString WrittenSql(const WriteTarget &target, bool recording, bool masked);
    WriteResult writeRounds(DbSession &session, const WriteJob &job);
    bool writeRowByRow(DbSession &session, const WriteJob &job, WriteResult &result);
    QString rowFunction(DbSession &session, const WriteJob &job, bool recording);
    // refusals: per item, the server's text for its refused rows (null for none) and their
    // number.
    void takeWritten(const WriteJob &job, qsizetype from, qsizetype to, const Written &written,
                     const QList<std::pair<QString, qint64>> &refusals, WriteResult &result);
    void writeHalving(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                      WriteResult &result);
    void writeHalves(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                     const DbError &failure, WriteResult &result);

    const RowRecorderFactory makeRecorder_;
    std::unique_ptr<RowRecorder> recorder_; // made and used in the worker's thread
    QHash<QString, QString> rowFunctions_;  // made in the session: target -> function name
    WriteResult result_;
    SessionWorker worker_; // last: its thread ends before the members it uses go
};
