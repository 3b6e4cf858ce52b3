// Writes a change run's chunks on a session and thread of its own. A run keeps two of them
// busy at once, so that the server writes two chunks side by side.
#pragma once

#include "db/chunkreader.h"
#include "db/connectionsettings.h"
#include "db/dberror.h"

#include <QList>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

class DbSession;

// One chunk's UPDATE: the statement, whose four ? markers take the old values joined, the
// delimiter, the new values joined and the delimiter again, and the pairs to bind.
struct WriteJob {
    QString sql;
    QString castType; // the field's type when its values are not text, for checking new texts
    PreparedChunk pairs;
};

struct WriteResult {
    qint64 rowsWritten = 0;
    QList<std::pair<QString, QString>> refused; // old value and the server's text, in order
    std::optional<DbError> failure;             // a failure that ends the run
};

class ChunkWriter
{
public:
    // Settings for the session: the statement time-out in seconds and the SET statements
    // that the run's writing needs.
    ChunkWriter(const ConnectionSettings &settings, int timeout, const QStringList &setup);
    ~ChunkWriter(); // lets a job in hand finish, then closes

    ChunkWriter(const ChunkWriter &) = delete;
    ChunkWriter &operator=(const ChunkWriter &) = delete;

    // One job at a time: each submit() is followed by a wait().
    void submit(WriteJob job);
    WriteResult wait();

    // Whether a failure concerns one value (its statement alone failed: the type refused the
    // text, a constraint, a trigger) rather than the whole run.
    static bool concernsOneValue(const DbError &error);

private:
    void loop(ConnectionSettings settings, int timeout, QStringList setup);
    WriteResult write(DbSession &session, const WriteJob &job);
    bool writeRange(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                    WriteResult &result, bool halve);
    WriteJob withoutRejected(DbSession &session, const WriteJob &job, WriteResult &result);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<WriteJob> job_;
    std::optional<WriteResult> result_;
    std::optional<DbError> sessionFailure_;
    bool quit_ = false;
    std::thread thread_;
};
