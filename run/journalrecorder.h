// Records each statement's rows in the run's journal before the statement commits; a journal
// that cannot be written ends the run before anything unrecorded is committed.
#pragma once

#include "journal/changejournal.h"
#include "journal/journalwriter.h"
#include "run/chunkwriter.h"

#include <functional>

class JournalRecorder : public RowRecorder
{
public:
    JournalRecorder(const JournalRun &run, const std::function<void()> &recordedHook)
        : writer_(run), recordedHook_(recordedHook)
    {
    }

    void record(const WriteTarget &target, const QList<QString> &identities,
                const WriteRows &rows) override;
    void forget() override;
    void committed() override { writer_.committed(); }

private:
    JournalWriter writer_;
    std::function<void()> recordedHook_;
};
