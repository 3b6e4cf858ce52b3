// Reads the values of a change run's next chunk on a session and thread of its own while the
// run writes the current chunk, so that reading and writing overlap.
#pragma once

#include "db/connectionsettings.h"
#include "db/dberror.h"

#include <QList>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class ChunkReader
{
public:
    // The session is opened in the reader's thread; a failure to open it is reported by the
    // first take().
    ChunkReader(const ConnectionSettings &settings, int loginTimeout);
    ~ChunkReader();

    ChunkReader(const ChunkReader &) = delete;
    ChunkReader &operator=(const ChunkReader &) = delete;

    // Starts a query whose one row holds one text[] (or NULL for no values). One request at
    // a time: each request is followed by a take().
    void request(const QString &sql);

    // The elements of the requested array, once read; throws DbError when it failed.
    QList<QString> take();

private:
    void loop(ConnectionSettings settings, int loginTimeout);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<QString> request_;
    std::optional<QList<QString>> values_;
    std::optional<DbError> error_;
    bool quit_ = false;
    std::thread thread_;
};
