#include "ui/changerunthread.h"

#include <QThread>

ChangeRunThread::ChangeRunThread(QObject *parent) : QObject(parent) {}

ChangeRunThread::~ChangeRunThread()
{
    stopAndWait();
}

bool ChangeRunThread::start(const ConnectionSettings &settings, const TableRef &table,
                            const QStringList &fields, std::optional<CaseMode> mode,
                            const QStringList &exceptionWords)
{
    if (thread_)
        return false;
    thread_ = new QThread(this);
    worker_ = new ChangeRun(settings, table, fields, mode, nullptr, exceptionWords);
    worker_->moveToThread(thread_);
    ChangeRun *const worker = worker_;
    connect(thread_, &QThread::started, worker, &ChangeRun::run);
    // Ending the thread's event loop straight from the worker's thread lets stopAndWait()
    // wait for the thread without the window's event loop running.
    connect(worker, &ChangeRun::finished, thread_, &QThread::quit, Qt::DirectConnection);
    // Signals of a run that stopAndWait() abandoned may still be queued; the run's number
    // keeps them from being taken for those of a later run.
    const quint64 run = ++runNumber_;
    connect(worker, &ChangeRun::progress, this, [this, run](int percent) {
        if (run == runNumber_ && thread_)
            emit progress(percent);
    });
    connect(worker, &ChangeRun::finished, this, [this, run](const ChangeRunSummary &summary) {
        if (run == runNumber_ && thread_) {
            release();
            emit finished(summary);
        }
    });
    thread_->start();
    return true;
}

void ChangeRunThread::requestStop()
{
    if (worker_)
        worker_->requestStop();
}

bool ChangeRunThread::stopAndWait(int timeoutMs)
{
    if (!thread_)
        return true;
    worker_->requestStop();
    return release(timeoutMs);
}

bool ChangeRunThread::release(int timeoutMs)
{
    // The worker is deleted here, once its thread has ended and it can take no more events.
    if (!thread_->wait(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                     : QDeadlineTimer(timeoutMs)))
        return false;
    delete worker_;
    worker_ = nullptr;
    delete thread_;
    thread_ = nullptr;
    return true;
}
