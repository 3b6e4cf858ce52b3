#include "db/sessionworker.h"

#include "db/cancelgroup.h"

SessionWorker::SessionWorker(const ConnectionSettings &settings, const DbSession::Options &options,
                             const QStringList &setup, CancelGroup *cancel)
    : thread_([this, settings, options, setup, cancel] { loop(settings, options, setup, cancel); })
{
}

SessionWorker::~SessionWorker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SessionWorker::submit(Job job)
{
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        done_ = false;
        failure_ = nullptr;
    }
    busy_ = true;
    changed_.notify_all();
}

void SessionWorker::wait()
{
    if (!busy_)
        return;
    busy_ = false;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    if (failure_)
        std::rethrow_exception(failure_);
}

void SessionWorker::loop(ConnectionSettings settings, DbSession::Options options, QStringList setup,
                         CancelGroup *cancel)
{
    std::optional<DbSession> session;
    std::optional<CancelMembership> membership;
    std::exception_ptr sessionFailure;
    try {
        session.emplace(settings, options);
        if (cancel)
            membership.emplace(*cancel, *session);
        for (const QString &statement : setup)
            session->execute(statement);
    } catch (...) {
        // Jobs are still taken, so that submit() and wait() keep their rhythm; each wait()
        // reports the failure.
        sessionFailure = std::current_exception();
        membership.reset();
        session.reset();
    }
    while (true) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || job_.has_value(); });
            if (!job_)
                return;
            job = std::move(*job_);
            job_.reset();
        }
        std::exception_ptr failure = sessionFailure;
        if (session) {
            try {
                job(*session);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            failure_ = failure;
            done_ = true;
        }
        changed_.notify_all();
    }
}
