#include "db/cancelgroup.h"

#include <QStringList>
#include <chrono>
#include <thread>

void CancelGroup::join(DbSession &session)
{
    std::lock_guard lock(mutex_);
    sessions_.push_back(&session);
    if (cancelled_)
        session.cancel();
}

void CancelGroup::leave(DbSession &session)
{
    std::lock_guard lock(mutex_);
    std::erase(sessions_, &session);
}

void CancelGroup::stop()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    for (DbSession *session : sessions_)
        session->cancel();
}

std::vector<qint64> CancelGroup::backendPids() const
{
    std::lock_guard lock(mutex_);
    std::vector<qint64> pids;
    for (const DbSession *session : sessions_) {
        if (session->backendPid() > 0)
            pids.push_back(session->backendPid());
    }
    return pids;
}

void CancelGroup::StopInBackground(const std::shared_ptr<CancelGroup> &group)
{
    group->stop();
    std::thread([group] { group->cancelRunning(); }).detach();
}

void CancelGroup::cancelRunning()
{
    stop();
    using namespace std::chrono_literals;
    constexpr int Rounds = 50;
    std::optional<DbSession> canceller;
    for (int round = 0; round < Rounds; ++round) {
        QStringList pids;
        {
            std::lock_guard lock(mutex_);
            for (DbSession *session : sessions_) {
                if (session->isExecuting() && session->backendPid() > 0)
                    pids << QString::number(session->backendPid());
            }
        }
        if (pids.isEmpty())
            return;
        try {
            // The server cancels only a statement that is running: one that has ended keeps
            // its result, and the session refuses the next one itself.
            if (!canceller)
                canceller.emplace(settings_, DbSession::Options{5, 5});
            canceller->execute(
                QStringLiteral("SELECT pg_cancel_backend(p) FROM unnest('{%1}'::int[]) p")
                    .arg(pids.join(u',')));
        } catch (const DbError &) {
            // The server cannot be reached: its statements end with their connections.
            return;
        }
        std::this_thread::sleep_for(100ms);
    }
}
