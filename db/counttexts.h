// Counts and durations as the user reads them in every message, line and list, in the windows
// and on the command line alike: counts with the group separator ("1,000,000"), the same
// whatever the desktop's language, like the rest of the program's texts.
#pragma once

#include <QString>

QString GroupedCount(qint64 n);

// A task's duration: "0.4 s", "9.1 s", "42 s", "3 min 5 s", "2 h 4 min".
QString ElapsedText(qint64 ms);
