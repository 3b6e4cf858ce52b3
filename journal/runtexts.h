// A run on record in the same words in the window's history and on the command line: the
// choices it was made with, and what became of it (done, stopped, failed, in progress, being
// undone, undone, or partly undone).
#pragma once

#include <QString>

struct JournalRun;

enum class RunState { InProgress, BeingUndone, Done, Stopped, Failed, Undone, PartlyUndone };

RunState RunStateOf(const JournalRun &run);

// "done", "stopped", "failed", "in progress", "being undone", "undone", "partly undone (1 of 3
// rows)".
QString RunStateText(const JournalRun &run);

// Why a failed run ended early: the first error it met, or that its program ended before it
// did; empty for a run in any other state.
QString RunFailureText(const JournalRun &run);

// The choices the run was made with beyond its change, on one line: "mixed case left, 2 values
// kept, only rows where grp = 3"; "-" for none.
QString RunOptionsText(const JournalRun &run);

// The change as every place names it: "Proper Case with name rules in Turkish".
QString RunChangeText(const JournalRun &run);
