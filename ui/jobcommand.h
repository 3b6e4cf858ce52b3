// A menu command that drives one kind of job on a thread of its own. Going away, it stops a job
// that is still going and waits for its thread: the window may be half gone by then, so only
// the thread is seen to.
#pragma once

#include "jobs/workerthread.h"
#include "ui/menucommand.h"

template <typename JobType>
class JobCommand : public MenuCommand
{
public:
    using MenuCommand::MenuCommand;

    bool isWorking() const { return worker_.running(); }

protected:
    WorkerThread<JobType> worker_;
};
