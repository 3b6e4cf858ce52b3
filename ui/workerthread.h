// A worker object (a preview, an undo) on a thread of its own: the worker's run() starts with
// the thread, the thread ends with the worker's finished(), and the worker is deleted once its
// thread has ended and it can take no more events. One worker at a time.
#pragma once

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

    // Takes the worker and gives it a thread; the caller connects its signals, then start()s.
    Worker *adopt(Worker *worker, QObject *threadParent)
    {
        thread_ = new QThread(threadParent);
        worker_ = worker;
        worker_->moveToThread(thread_);
        QObject::connect(thread_, &QThread::started, worker_, &Worker::run);
        // Ending the thread's event loop from the worker's own thread lets release() wait for
        // the thread without an event loop running.
        QObject::connect(worker_, &Worker::finished, thread_, &QThread::quit, Qt::DirectConnection);
        return worker_;
    }

    void start() { thread_->start(); }

    void requestStop()
    {
        if (worker_)
            worker_->requestStop();
    }

    // Waits for the thread to end and deletes both.
    void release()
    {
        if (!thread_)
            return;
        thread_->wait();
        delete worker_;
        worker_ = nullptr;
        delete thread_;
        thread_ = nullptr;
    }

    // The program is ending: the worker stops, every row whole, and its end is not shown.
    void stopAndWait()
    {
        requestStop();
        release();
    }

private:
    QThread *thread_ = nullptr;
    Worker *worker_ = nullptr;
};
