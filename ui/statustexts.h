// The lines of the main window's status line: after a task, what it did, in one line made from
// what the task reports; while a statement of a task waits for another client's lock, which
// lock and whose. The window only says when.
#pragma once

#include "casing/caserules.h"
#include "db/tableref.h"

#include <QString>
#include <QStringList>
#include <optional>

struct CaseChange;
struct ChangeRunSummary;
struct LockWait;
struct PreviewResult;
struct UndoSummary;

// A change run of these fields of the table by that mode; empty for a mode text without a mode
// word, which "mess up" says.
QString ChangeRunStatus(const ChangeRunSummary &summary, const CaseChange &change,
                        qint64 elapsedMs);

QString PreviewStatus(const PreviewResult &result, qint64 elapsedMs);

// What a run or its preview does, for the status line while it goes on: "Changing customers
// (name, city) to Proper Case"; the verb is the task's.
QString TaskTitle(const QString &verb, const CaseChange &change);

// An undo of a change run of the table.
QString UndoStatus(const UndoSummary &summary, const TableRef &table, qint64 elapsedMs);

// The wait of a statement of a task on that table (the lock's own table when the server names
// it).
QString LockWaitStatus(const LockWait &wait, const TableRef &taskTable);
