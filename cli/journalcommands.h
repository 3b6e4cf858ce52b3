// `recasor undo` and `recasor runs`: the undo of the windows' Change menu and the journal's runs
// as a list. Each returns the exit code.
#pragma once

struct CommandContext;

int CommandUndo(const CommandContext &context);
int CommandRuns(const CommandContext &context);
