// Runs one change run at a time on a thread of its own, so that the main window stays
// responsive and repaints while the rows are written. Progress and the end of the run come
// back to the window's thread as signals.
#pragma once

#include "run/changerun.h"

#include <QObject>

class QThread;

class ChangeRunThread : public QObject
{
    Q_OBJECT

public:
    explicit ChangeRunThread(QObject *parent = nullptr);
    ~ChangeRunThread() override;

    bool isRunning() const { return thread_ != nullptr; }

    // Starts a run; false (and nothing started) while one is still going.
    bool start(const ConnectionSettings &settings, const TableRef &table, const QStringList &fields,
               std::optional<CaseMode> mode, const QStringList &exceptionWords = {});

    // The sessions of the run going, for watching them on the server; none while none goes.
    std::shared_ptr<const CancelGroup> sessions() const
    {
        return worker_ ? worker_->sessions() : nullptr;
    }

    // Asks the run to stop; its end is signalled as usual.
    void requestStop();

    // Asks the run to stop and waits until its thread has ended, at most timeoutMs when given
    // (false when the run is still going then). The run's own end is then not signalled: this
    // is for closing the window.
    bool stopAndWait(int timeoutMs = -1);

signals:
    void progress(int percent);
    void finished(const ChangeRunSummary &summary);

private:
    bool release(int timeoutMs = -1);

    QThread *thread_ = nullptr;
    ChangeRun *worker_ = nullptr;
    quint64 runNumber_ = 0;
};
