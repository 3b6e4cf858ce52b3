// The one way a job (a change run, a preview, an undo) is run off the thread of whoever drives
// it, a window or the command line: the job's run() starts with the thread, the thread ends with
// the job's finished(), and the job is deleted once its thread has ended and it can take no more
// events. One job at a time.
// Each job started has a number of its own, and the signals connected through forward() reach
// the driver only while that job is the current one: a job abandoned by stopAndWait() may
// still have signals queued, which are never taken for those of a later job.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QThread>

template <typename Worker>
class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread() { stopAndWait(); }

    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;

    bool running() const { return thread_ != nullptr; }
    Worker *worker() const { return worker_; }

    // Takes the worker and gives it a thread; the caller connects its signals, then start()s.
    Worker *adopt(Worker *worker, QObject *threadParent)
    {
        thread_ = new QThread(threadParent);
        worker_ = worker;
        ++number_;
        worker_->moveToThread(thread_);
        QObject::connect(thread_, &QThread::started, worker_, &Worker::run);
        // Ending the thread's event loop from the worker's own thread lets release() wait for
        // the thread without an event loop running.
        QObject::connect(worker_, &Worker::finished, thread_, &QThread::quit, Qt::DirectConnection);
        return worker_;
    }

    // Connects a signal of the adopted worker to a slot in the context's thread, delivered only
    // while this worker is the current one.
    template <typename Signal, typename Slot>
    void forward(Signal signal, QObject *context, Slot slot)
    {
        QObject::connect(worker_, signal, context,
                         [this, number = number_, slot](const auto &...arguments) {
                             if (number == number_ && thread_)
                                 slot(arguments...);
                         });
    }

    void start() { thread_->start(); }

    void requestStop()
    {
        if (worker_)
            worker_->requestStop();
    }

    // Waits for the thread to end, at most timeoutMs when given, and deletes both; false when
    // the worker is still going then.
    bool release(int timeoutMs = -1)
    {
        if (!thread_)
            return true;
        if (!thread_->wait(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                         : QDeadlineTimer(timeoutMs)))
            return false;
        delete worker_;
        worker_ = nullptr;
        delete thread_;
        thread_ = nullptr;
        return true;
    }

    // The program is ending: the worker stops, every row whole, and its end is not shown.
    bool stopAndWait(int timeoutMs = -1)
    {
        requestStop();
        return release(timeoutMs);
    }

private:
    QThread *thread_ = nullptr;
    Worker *worker_ = nullptr;
    quint64 number_ = 0;
};
