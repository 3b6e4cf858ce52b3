// A run's journal as a CSV file (RFC 4180, UTF-8 with a byte order mark, CRLF line ends): one
// line for each value the run wrote, oldest first, with the row's identity, the field, the old
// value and the new value, and whether the run saw its commit ("written", or "unknown" for a
// chunk whose commit was cut off). Values stand exactly as the journal holds them; a field that
// holds a comma, a quote or a line break is quoted, its quotes doubled.
#pragma once

#include "journal/changejournal.h"

#include <QString>

// Writes the file whole, or not at all; throws JournalError when the journal cannot be read
// or the file cannot be written. The number of lines of values written.
qint64 ExportChanges(const JournalRun &run, const QString &path);
