#include "db/lockwaitwatcher.h"

#include "db/cancelgroup.h"
#include "db/dbsession.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QVariant>
#include <chrono>

namespace {

// Seconds for the watcher's login and each look: a look is cheap, and a server that takes
// longer than this is not watched this time.
constexpr int LookTimeout = 3;
constexpr int IntervalMs = 1000;

QString PidArray(const std::vector<qint64> &pids)
{
    QStringList texts;
    for (const qint64 pid : pids)
        texts << QString::number(pid);
    return QStringLiteral("'{%1}'::int[]").arg(texts.join(u','));
}

// The work's process that has waited longest on a lock that a session outside the work holds,
// the table of that lock, and the session holding it. A process waiting for a row waits on the
// lock of the transaction that holds the row and keeps the lock of the row itself, which names
// the table; one waiting for a table names it in the lock it waits for; an UPDATE waiting for
// something else still holds its table's RowExclusiveLock. Servers from version 14 on say when
// the wait began.
QString LookSql(int serverVersion, const std::vector<qint64> &pids)
{
    const QString work = PidArray(pids);
    const QString waited =
        serverVersion >= 140000
            ? QStringLiteral("(SELECT extract(epoch FROM clock_timestamp() - min(l.waitstart))"
                             " * 1000 FROM pg_locks l WHERE l.pid = w.pid AND NOT l.granted)")
            : QStringLiteral("NULL::float8");
    return QStringLiteral(
               "SELECT %1, n.nspname, c.relname, h.pid, h.usename, h.application_name, w.pid"
               " FROM pg_stat_activity w"
               " LEFT JOIN LATERAL (SELECT r.relname, r.relnamespace FROM pg_locks l"
               " JOIN pg_class r ON r.oid = l.relation"
               " WHERE l.pid = w.pid AND r.relkind IN ('r', 'p')"
               " AND (NOT l.granted OR l.locktype = 'tuple' OR l.mode = 'RowExclusiveLock')"
               " ORDER BY l.granted, l.locktype <> 'tuple', r.relkind <> 'r' LIMIT 1) c ON true"
               " LEFT JOIN pg_namespace n ON n.oid = c.relnamespace"
               " JOIN LATERAL (SELECT b.pid, a.usename, a.application_name"
               " FROM unnest(pg_blocking_pids(w.pid)) WITH ORDINALITY b(pid, k)"
               " LEFT JOIN pg_stat_activity a ON a.pid = b.pid"
               " WHERE b.pid <> ALL (%2) ORDER BY b.k LIMIT 1) h ON true"
               " WHERE w.pid = ANY (%2) AND w.wait_event_type = 'Lock'"
               " ORDER BY 1 DESC NULLS LAST LIMIT 1")
        .arg(waited, work);
}

} // namespace

LockWaitWatcher::LockWaitWatcher(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<LockWait>();
}

LockWaitWatcher::~LockWaitWatcher()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

quint64 LockWaitWatcher::watch(const ConnectionSettings &settings,
                               std::shared_ptr<const CancelGroup> work)
{
    std::lock_guard lock(mutex_);
    work_ = Work{++lastToken_, settings, std::move(work)};
    changed_.notify_all();
    // The thread starts with the first work watched, and waits between two pieces of work.
    if (!thread_.joinable())
        thread_ = std::thread([this] { loop(); });
    return lastToken_;
}

void LockWaitWatcher::unwatch()
{
    {
        std::lock_guard lock(mutex_);
        work_.reset();
    }
    changed_.notify_all();
}

bool LockWaitWatcher::pause(quint64 token, int ms)
{
    std::unique_lock lock(mutex_);
    const auto changed = [&] { return quit_ || !work_ || work_->token != token; };
    if (ms < 0)
        changed_.wait(lock, changed);
    else
        changed_.wait_for(lock, std::chrono::milliseconds(ms), changed);
    return !changed();
}

void LockWaitWatcher::loop()
{
    while (true) {
        Work work;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || work_.has_value(); });
            if (quit_)
                return;
            work = *work_;
        }
        watchWork(work);
    }
}

void LockWaitWatcher::watchWork(const Work &work)
{
    // Short work ends before the first look and never opens the session.
    if (!pause(work.token, IntervalMs))
        return;
    bool reported = false;
    try {
        DbSession session(work.settings, DbSession::Options{LookTimeout, LookTimeout});
        QSqlQuery version = session.exec(QStringLiteral("SHOW server_version_num"));
        const int serverVersion = version.next() ? version.value(0).toInt() : 0;
        // Where the server does not say when a wait began, it is timed from the first look
        // that saw it.
        qint64 seenPid = 0;
        QElapsedTimer seen;
        do {
            const std::vector<qint64> pids = work.sessions->backendPids();
            std::optional<LockWait> wait;
            if (!pids.empty()) {
                QSqlQuery look = session.exec(LookSql(serverVersion, pids));
                if (look.next()) {
                    const qint64 pid = look.value(6).toLongLong();
                    if (pid != seenPid) {
                        seenPid = pid;
                        seen.start();
                    }
                    wait = LockWait{look.value(0).isNull() ? seen.elapsed()
                                                           : qint64(look.value(0).toDouble()),
                                    TableRef{look.value(1).toString(), look.value(2).toString()},
                                    look.value(3).toLongLong(), look.value(4).toString(),
                                    look.value(5).toString()};
                }
            }
            if (wait) {
                emit waiting(work.token, *wait);
            } else {
                seenPid = 0;
                if (reported)
                    emit waitEnded(work.token);
            }
            reported = wait.has_value();
        } while (pause(work.token, IntervalMs));
    } catch (const DbError &) {
        // The server cannot be watched now (it takes no more sessions, or ended this one): the
        // work goes on, and a wait shown already is no longer known.
        if (reported)
            emit waitEnded(work.token);
        pause(work.token, -1);
    }
}
