// A job run in the test's own thread, to its end: the result its finished() signal gives.
#pragma once

#include <QObject>

template <typename Result, typename Job>
Result RunJob(Job &job)
{
    Result result;
    QObject::connect(
        &job, &Job::finished, &job, [&result](const Result &finished) { result = finished; },
        Qt::DirectConnection);
    job.run();
    return result;
}
