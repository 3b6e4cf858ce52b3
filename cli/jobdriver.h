// Runs one job (a change run, a preview, an undo) to its end from the command line: on the one
// runner the windows use, with its progress on stderr, and Ctrl+C or SIGTERM asking it to stop
// as Stop does in the window. Returns the job's result, and its time in elapsedMs.
#pragma once

#include "cli/interruptwatch.h"
#include "cli/progressprinter.h"
#include "db/workerthread.h"

#include <QElapsedTimer>
#include <QEventLoop>

template <typename ConcreteJob, typename Result>
Result DriveJob(ConcreteJob *job, qint64 &elapsedMs)
{
    QElapsedTimer clock;
    clock.start();
    ProgressPrinter progress;
    WorkerThread<ConcreteJob> runner;
    QEventLoop loop;
    InterruptWatch interrupt;
    Result result{};
    runner.adopt(job, nullptr);
    runner.forward(&ConcreteJob::progress, &loop,
                   [&progress](int percent) { progress.show(percent); });
    runner.forward(&ConcreteJob::finished, &loop, [&result, &loop](const Result &ended) {
        result = ended;
        loop.quit();
    });
    bool stopping = false;
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &loop, [&] {
        if (!stopping)
            progress.say(QStringLiteral("Stopping…"));
        stopping = true;
        runner.requestStop();
    });
    runner.start();
    loop.exec();
    runner.release();
    progress.end();
    elapsedMs = clock.elapsed();
    return result;
}
