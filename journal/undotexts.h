// What an undo's end says, made from its summary, in the window's closing message and on the
// command line alike; `undo` names the way its user goes on with an undo that ended early.
#pragma once

#include <QString>

#include "journal/runlock.h"

struct JournalRun;
struct UndoSummary;

// A run that may not be undone now: it goes on, or another undo of it goes on.
QString RunBusyText(qint64 runId, const RunLock::Holder &holder);

// Why the run may not be undone now: it or an undo of it goes on, it was undone, or it wrote no
// rows; empty when it may.
QString UndoRefusalText(const JournalRun &run);

// Rows restored and rows left alone, with the rows an earlier undo of the run restored.
QString UndoClosingText(const UndoSummary &summary, const QString &undo);
