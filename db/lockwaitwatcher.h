// Watches, while a long piece of work runs (a change run, a preview, an undo), whether one of its
// statements waits for a lock that another client holds: a row another session has updated and
// not committed, a table another session has locked. Such a wait lasts as long as the other
// session wants, up to the statement time-out, and nothing else shows it.
//
// A thread of its own looks about once a second, on a session of its own, for the work's server
// processes (known from its CancelGroup) that wait on a lock, and for the session that holds it
// (pg_stat_activity, pg_blocking_pids, pg_locks). The session is opened only while work is
// watched, a second after the work began, so that short work never opens it; the thread never
// blocks the caller.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"

#include <QMetaType>
#include <QObject>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class CancelGroup;

struct LockWait {
    qint64 waitedMs = 0;  // how long the statement that has waited longest has waited so far
    TableRef table;       // the table whose lock it waits for; empty when the server names none
    qint64 holderPid = 0; // the server process of the session holding the lock; 0 for a
                          // prepared transaction
    QString holderUser;
    QString holderApplication; // its application_name, often empty
};
Q_DECLARE_METATYPE(LockWait)

class LockWaitWatcher : public QObject
{
    Q_OBJECT

public:
    explicit LockWaitWatcher(QObject *parent = nullptr);
    // Ends the thread; a look in flight is bounded by its session's short time-outs.
    ~LockWaitWatcher() override;

    // Watches the sessions of this work from now on, instead of any watched before. Returns the
    // token that the signals about this work carry.
    quint64 watch(const ConnectionSettings &settings, std::shared_ptr<const CancelGroup> work);
    // Stops watching; signals already on their way still carry the old token.
    void unwatch();

signals:
    // About once a second while a statement of the work waits on another session's lock.
    void waiting(quint64 token, const LockWait &wait);
    // Once, when no statement of the work waits any more after one did.
    void waitEnded(quint64 token);

private:
    struct Work {
        quint64 token = 0;
        ConnectionSettings settings;
        std::shared_ptr<const CancelGroup> sessions;
    };

    void loop();
    // Looks once a second until the work is no longer the one watched.
    void watchWork(const Work &work);
    // Waits up to ms (for ever when negative) for the work watched to change; false when it
    // changed or the watcher is ending.
    bool pause(quint64 token, int ms);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Work> work_;
    quint64 lastToken_ = 0;
    bool quit_ = false;
    std::thread thread_;
};
