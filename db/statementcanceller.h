// Lets another thread end the statement that a session is running, at once rather than at the
// end of the statement: a read of a large table, or a statement waiting for a lock that another
// client holds. Made for one action on one session, like the session itself.
//
// The driver's own SQLCancel on the executing statement's handle is used: psqlODBC sends the
// server a cancel request for it from the calling thread, and the statement fails with
// "canceling statement due to user request", leaving the session usable.
#pragma once

#include "db/dbsession.h"

#include <QSqlQuery>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>

class StatementCanceller
{
public:
    StatementCanceller() = default;
    ~StatementCanceller();

    StatementCanceller(const StatementCanceller &) = delete;
    StatementCanceller &operator=(const StatementCanceller &) = delete;

    // Runs the statement on the session in the calling thread and returns its forward-only
    // result; throws DbError when it fails, also when it was cancelled. Once cancel() has been
    // called, no statement starts any more.
    QSqlQuery exec(DbSession &session, const QString &sql);

    // From any thread: ends the statement running now and refuses the ones after it.
    void cancel();
    bool isCancelled() const;

private:
    void watch();

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    void *running_ = nullptr; // the ODBC handle of the statement being executed
    bool cancelled_ = false;
    std::thread watcher_;
};
