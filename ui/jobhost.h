// The one way the main window runs a job (a change run, a preview, an undo) off its own thread.
// While the job goes on the window is busy with it (its controls disabled, the hourglass, Stop
// enabled), the bar shows its progress and the status line its waits on other clients' locks;
// when it ends, the window is free again before whoever started the job hears its result. One
// job at a time: Stop, and the window's end, stop whichever it is.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"
#include "jobs/job.h"
#include "jobs/workerthread.h"

#include <QObject>
#include <functional>
#include <memory>

class CancelGroup;

class JobHost : public QObject
{
    Q_OBJECT

public:
    explicit JobHost(QObject *parent = nullptr) : QObject(parent) {}
    // The window is going: the job stops, every row whole, and its end is not shown.
    ~JobHost() override { stopAndWait(); }

    bool busy() const { return runner_ != nullptr; }
    // Whether the job going on is of that kind.
    template <typename ConcreteJob>
    bool running() const
    {
        return runner_ && qobject_cast<ConcreteJob *>(runner_->job());
    }

    // Starts the job, which the host takes, on the table; none when a job goes on already (the
    // job is then deleted). `finished` gets the job's result in the context's thread once the
    // window is free again; `setup` forwards further signals of the job before it starts.
    template <typename ConcreteJob, typename Result>
    bool start(ConcreteJob *job, const ConnectionSettings &settings, const TableRef &table,
               QObject *context, std::function<void(const Result &)> finished,
               const std::function<void(WorkerThread<ConcreteJob> &)> &setup = {});

    // Asks the job to stop; its end comes as usual.
    void stop()
    {
        if (runner_)
            runner_->requestStop();
    }
    // Stops the job and waits for its thread, at most timeoutMs when given; false when the job is
    // still going then. Its end is not shown.
    bool stopAndWait(int timeoutMs = -1)
    {
        if (!runner_ || !runner_->stopAndWait(timeoutMs))
            return !runner_;
        runner_.reset();
        return true;
    }

signals:
    // A job has started, with its sessions, which the status line watches for lock waits.
    void started(const ConnectionSettings &settings, std::shared_ptr<const CancelGroup> sessions,
                 const TableRef &table);
    void progress(int percent);
    void rowsDone(qint64 done, qint64 total, bool estimated);
    // The job has ended and its thread with it; its result follows.
    void ended();

private:
    struct Runner {
        virtual ~Runner() = default;
        virtual Job *job() const = 0;
        virtual void requestStop() = 0;
        virtual bool release() = 0;
        virtual bool stopAndWait(int timeoutMs) = 0;
    };
    template <typename ConcreteJob>
    struct TypedRunner : Runner {
        WorkerThread<ConcreteJob> thread;
        Job *job() const override { return thread.worker(); }
        void requestStop() override { thread.requestStop(); }
        bool release() override { return thread.release(); }
        bool stopAndWait(int timeoutMs) override { return thread.stopAndWait(timeoutMs); }
    };

    std::unique_ptr<Runner> runner_;
};

template <typename ConcreteJob, typename Result>
bool JobHost::start(ConcreteJob *job, const ConnectionSettings &settings, const TableRef &table,
                    QObject *context, std::function<void(const Result &)> finished,
                    const std::function<void(WorkerThread<ConcreteJob> &)> &setup)
{
    if (runner_) {
        delete job;
        return false;
    }
    auto runner = std::make_unique<TypedRunner<ConcreteJob>>();
    WorkerThread<ConcreteJob> &thread = runner->thread;
    thread.adopt(job, this);
    thread.forward(&ConcreteJob::progress, this, [this](int percent) { emit progress(percent); });
    thread.forward(&ConcreteJob::rowsDone, this, [this](qint64 done, qint64 total, bool estimated) {
        emit rowsDone(done, total, estimated);
    });
    thread.forward(&ConcreteJob::finished, context,
                   [this, finished = std::move(finished)](const Result &result) {
                       // The job's thread has ended with the job: it goes, and the window is
                       // free, before the result is taken in.
                       std::unique_ptr<Runner> done = std::move(runner_);
                       done->release();
                       done.reset();
                       emit ended();
                       finished(result);
                   });
    if (setup)
        setup(thread);
    runner_ = std::move(runner);
    emit started(settings, job->sessions(), table);
    thread.start();
    return true;
}
