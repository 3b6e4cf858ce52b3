// Runs one change run at a time on a thread of its own, so that the main window stays
// responsive and repaints while the rows are written. Progress and the end of the run come
// back to the window's thread as signals.
#pragma once

#include "jobs/workerthread.h"
#include "run/changerun.h"

#include <QObject>

class ChangeRunThread : public QObject
{
    Q_OBJECT

public:
    explicit ChangeRunThread(QObject *parent = nullptr);
    ~ChangeRunThread() override;

    bool isRunning() const { return runner_.running(); }

    // Starts a run; false (and nothing started) while one is still going.
    bool start(const ConnectionSettings &settings, const CaseChange &change);

    // The sessions of the run going, for watching them on the server; none while none goes.
    std::shared_ptr<const CancelGroup> sessions() const
    {
        return runner_.running() ? runner_.worker()->sessions() : nullptr;
    }

    // Asks the run to stop; its end is signalled as usual.
    void requestStop() { runner_.requestStop(); }
    // Asks the run to stop and waits until its thread has ended, at most timeoutMs when given
    // (false when the run is still going then). The run's own end is then not signalled: this
    // is for closing the window.
    bool stopAndWait(int timeoutMs = -1) { return runner_.stopAndWait(timeoutMs); }

signals:
    void progress(int percent);
    void cautioned(const QStringList &untrustedOwners);
    void finished(const ChangeRunSummary &summary);

private:
    WorkerThread<ChangeRun> runner_;
};
