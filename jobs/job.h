// What a long job (a change run, a preview of changes, an undo) is to whoever drives it, a
// window now and a script later: run() on a thread of its own, its progress as it goes, a stop
// from any thread, and its result at the end, which each kind of job gives by a finished()
// signal of its own. The job's sessions belong to one cancel group: a stop cancels their
// statements on the server, and a watcher can look them up there.
#pragma once

#include "db/cancelgroup.h"
#include "db/connectionsettings.h"

#include <QObject>
#include <atomic>
#include <memory>

class Job : public QObject
{
    Q_OBJECT

public:
    explicit Job(const ConnectionSettings &settings, QObject *parent = nullptr)
        : QObject(parent), settings_(settings), cancel_(std::make_shared<CancelGroup>(settings))
    {
    }

    // From any thread: no statement of the job starts any more and the ones in flight are
    // cancelled on the server; the job then ends as it ends, with what it did until then.
    void requestStop()
    {
        stop_.store(true, std::memory_order_relaxed);
        CancelGroup::StopInBackground(cancel_);
    }

    // The job's sessions while they live, from any thread.
    std::shared_ptr<const CancelGroup> sessions() const { return cancel_; }

public slots:
    virtual void run() = 0;

signals:
    void progress(int percent);
    // The rows done and the rows in all (0 while not known); `estimated` when that whole is
    // reckoned from the part done so far.
    void rowsDone(qint64 done, qint64 total, bool estimated);

protected:
    // The connection values the job was given, read when it was made.
    const ConnectionSettings &settings() const { return settings_; }
    CancelGroup &cancelGroup() const { return *cancel_; }
    const std::atomic<bool> &stopFlag() const { return stop_; }
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }

private:
    const ConnectionSettings settings_;
    std::shared_ptr<CancelGroup> cancel_;
    std::atomic<bool> stop_{false};
};
