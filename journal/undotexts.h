// What an undo's end says, made from its summary, in the window's closing message and on the
// command line alike; `undo` names the way its user goes on with an undo that ended early.
#pragma once

#include <QString>

struct UndoSummary;

// Rows restored and rows left alone, with the rows an earlier undo of the run restored.
QString UndoClosingText(const UndoSummary &summary, const QString &undo);
