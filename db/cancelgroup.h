// The sessions of one piece of long work (a change run and its readers and writers, a preview,
// an undo and its writers), so that a
// stop reaches every one of them from any thread: stop() makes each refuse its next statement
// at once, and cancelRunning() has the server cancel the statements they have in flight,
// through a short session of its own. A session joins while it lives; one that joins after the
// stop is stopped at once.
#pragma once

#include "db/connectionsettings.h"
#include "db/dbsession.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class CancelGroup
{
public:
    explicit CancelGroup(ConnectionSettings settings) : settings_(std::move(settings)) {}

    void join(DbSession &session);
    void leave(DbSession &session);

    void stop();
    bool cancelled() const { return cancelled_.load(); }

    // The server processes of the members that know theirs, from any thread: what a watcher
    // of the work's sessions looks for on the server.
    std::vector<qint64> backendPids() const;

    // Stops the group and has the server cancel what its members run, from a thread of its
    // own: a cancel request is a connection of its own to the server, and the caller (a window
    // closing, say) never waits for it, nor for a row lock that holds a member.
    static void StopInBackground(const std::shared_ptr<CancelGroup> &group);

    // Blocks for as long as it takes (a few seconds at most): run it on a thread of its own.
    // Sends cancels until no member has a statement in flight, so that a statement that
    // started just as the first cancel went out is cancelled as well.
    void cancelRunning();

private:
    const ConnectionSettings settings_;
    mutable std::mutex mutex_;
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
