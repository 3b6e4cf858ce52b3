// A database session on a thread of its own that runs one job at a time, so that the thread that
// hands out the jobs can prepare the next one, or keep a second worker busy, while the server
// works on this one.
#pragma once

#include "db/dbsession.h"

#include <QStringList>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class CancelGroup;

class SessionWorker
{
public:
    using Job = std::function<void(DbSession &session)>;

    // The session is opened in the worker's thread and set up with the statements; a failure
    // to open it is thrown by the first wait(). With a cancel group, the session belongs to it
    // while it lives.
    SessionWorker(const ConnectionSettings &settings, const DbSession::Options &options,
                  const QStringList &setup, CancelGroup *cancel = nullptr);
    ~SessionWorker(); // lets a job in hand finish, then closes the session

    SessionWorker(const SessionWorker &) = delete;
    SessionWorker &operator=(const SessionWorker &) = delete;

    // One job at a time: each submit() is followed by a wait().
    void submit(Job job);
    // Until the job has ended; rethrows what it threw.
    void wait();
    bool busy() const { return busy_; }

private:
    void loop(ConnectionSettings settings, DbSession::Options options, QStringList setup,
              CancelGroup *cancel);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> job_;
    bool done_ = false;
    std::exception_ptr failure_;
    bool quit_ = false;
    bool busy_ = false; // only for the thread that submits
    std::thread thread_;
};
