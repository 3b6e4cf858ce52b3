// Counts as the user reads them in every message, line and list: with the group separator
// ("1,000,000"), the same whatever the desktop's language, like the rest of the program's texts.
#pragma once

#include <QString>

QString GroupedCount(qint64 n);
