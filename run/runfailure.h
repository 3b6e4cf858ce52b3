// How a change run ends early inside the engine: a failure of the whole run, with the step it
// belongs to, or the stop the user asked for, after which what was written stays written.
#pragma once

#include "db/cancelgroup.h"
#include "db/dberror.h"
#include "run/changerun.h"

#include <QString>

class RunFailure
{
public:
    RunFailure(const QString &text, ChangeRunStep step) : text(text), step(step) {}
    QString text;
    ChangeRunStep step;
};

class RunStopped
{
};

// A statement that failed while the run was asked to stop was cancelled by the stop: it is the
// stop itself, not a failure to report.
[[noreturn]] inline void ThrowUnlessStopped(const CancelGroup &cancel, const DbError &error,
                                            ChangeRunStep step)
{
    if (cancel.cancelled())
        throw RunStopped();
    throw RunFailure(error.text(), step);
}
