// Runs one job (a change run, a preview, an undo) to its end from the command line: on the one
// runner the windows use, with its progress on stderr, and Ctrl+C or SIGTERM asking it to stop
// as Stop does in the window. While a statement of the job waits for another client's lock,
// stderr says whose, as the window's status line does. Returns the job's result, and its time in
// elapsedMs.
#pragma once

#include "cli/interruptwatch.h"
#include "cli/progressprinter.h"
#include "db/lockwaitwatcher.h"
#include "jobs/jobtexts.h"
#include "jobs/workerthread.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <functional>

// How a job's lock waits are said: the job's table, for a lock whose table the server does not
// name.
inline QString CommandLockWaitText(const LockWait &wait, const TableRef &table)
{
    return QStringLiteral("recasor: ") + LockWaitText(wait, table, QStringLiteral("Ctrl+C stops"));
}

// setup, when given, connects further signals of the job before it starts; a slot in the
// context's thread runs while the job goes on.
template <typename ConcreteJob, typename Result>
Result DriveJob(ConcreteJob *job, const ConnectionSettings &settings, const TableRef &table,
                qint64 &elapsedMs,
                const std::function<void(ConcreteJob &, QObject &, ProgressPrinter &)> &setup = {})
{
    QElapsedTimer clock;
    clock.start();
    ProgressPrinter progress;
    WorkerThread<ConcreteJob> runner;
    QEventLoop loop;
    InterruptWatch interrupt;
    LockWaitWatcher locks;
    Result result{};
    runner.adopt(job, nullptr);
    runner.forward(&ConcreteJob::rowsDone, &loop,
                   [&progress](qint64 done, qint64 total, bool estimated) {
                       progress.rows(done, total, estimated);
                   });
    runner.forward(&ConcreteJob::progress, &loop,
                   [&progress](int percent) { progress.show(percent); });
    runner.forward(&ConcreteJob::finished, &loop, [&result, &loop](const Result &ended) {
        result = ended;
        loop.quit();
    });
    if (setup)
        setup(*job, loop, progress);
    QObject::connect(&locks, &LockWaitWatcher::waiting, &loop, [&](quint64, const LockWait &wait) {
        progress.waiting(wait.waitedMs, CommandLockWaitText(wait, table));
    });
    QObject::connect(&locks, &LockWaitWatcher::waitEnded, &loop,
                     [&progress](quint64) { progress.waitEnded(); });
    bool stopping = false;
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &loop, [&] {
        if (!stopping)
            progress.say(QStringLiteral("Stopping…"));
        stopping = true;
        runner.requestStop();
    });
    locks.watch(settings, job->sessions());
    runner.start();
    loop.exec();
    locks.unwatch();
    runner.release();
    progress.end();
    elapsedMs = clock.elapsed();
    return result;
}
