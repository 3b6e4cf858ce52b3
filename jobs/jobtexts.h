// The texts of every job's driver, in the windows and on the command line alike: counts and
// durations as the user reads them in every message, line and list, with the group separator
// ("1,000,000") whatever the desktop's language, like the rest of the program's texts; and the
// wait of a job's statement on another client's lock.
#pragma once

#include "casing/caselanguage.h"

#include <QString>

struct LockWait;
struct TableRef;

QString GroupedCount(qint64 n);

// A change as every place names it: the mode, the name rules where the mode takes them, and a
// language other than Any: "Proper Case with name rules", "UPPER CASE in Turkish".
QString ChangeWording(CaseMode mode, bool nameRules, CaseLanguage language = CaseLanguage::Any);

// The rows a task has done, and of how many when that is known: "450,000 of 1,000,000 rows",
// "450,000 of about 1,000,000 rows" for an estimate (to three figures), "450,000 rows" without a
// whole.
QString RowsDoneText(qint64 done, qint64 total, bool estimated);

// A task's duration: "0.4 s", "9.1 s", "42 s", "3 min 5 s", "2 h 4 min".
QString ElapsedText(qint64 ms);

// The time a task that is that far after that long still needs, in words: "about 6 s left";
// empty while there is too little to tell.
QString TimeLeftText(qint64 elapsedMs, int percent);

// The wait of a statement of a task on that table (the lock's own table when the server names
// it), and how the task is stopped: "Waiting 9 s for a lock on t held by session 22718 (user
// alice, application "psql"); Stop (Esc) ends it."
QString LockWaitText(const LockWait &wait, const TableRef &taskTable, const QString &howToStop);
// The same in a few words, for a line too narrow for the whole: "Waiting 9 s for a lock held by
// session 22718 (user alice)".
QString LockWaitShortText(const LockWait &wait);
