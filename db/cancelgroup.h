// The sessions of one piece of long work (a change run and its readers and writers), so that
// a stop can cancel whatever statement each of them has in flight, from any thread. A session
// joins while it lives; one that joins after the stop is cancelled at once.
#pragma once

#include "db/dbsession.h"

#include <atomic>
#include <mutex>
#include <vector>

class CancelGroup
{
public:
    void join(DbSession &session)
    {
        std::lock_guard lock(mutex_);
        sessions_.push_back(&session);
        if (cancelled_)
            session.cancel();
    }

    void leave(DbSession &session)
    {
        std::lock_guard lock(mutex_);
        std::erase(sessions_, &session);
    }

    // Marks the work as stopped at once; cancel() then reaches the server.
    void stop() { cancelled_ = true; }

    void cancel()
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        for (DbSession *session : sessions_)
            session->cancel();
    }

    bool cancelled() const { return cancelled_.load(); }

private:
    std::mutex mutex_;
    std::vector<DbSession *> sessions_;
    std::atomic<bool> cancelled_{false};
};

// Membership of a session for as long as this object lives.
class CancelMembership
{
public:
    CancelMembership(CancelGroup &group, DbSession &session) : group_(group), session_(session)
    {
        group_.join(session_);
    }
    ~CancelMembership() { group_.leave(session_); }
    CancelMembership(const CancelMembership &) = delete;
    CancelMembership &operator=(const CancelMembership &) = delete;

private:
    CancelGroup &group_;
    DbSession &session_;
};
