// What a change run's writes come to, as its summary counts them: rows written, rows the server
// refused (with each of its texts), rows left because another client changed them, and the
// items whose rows moved away during the pass, which the pass writes once more at its end to
// wherever those rows are now.
//
// Rows that hold the old values of a refused item are refused again without being tried, and
// count as refused with the same text. Written, refused and left rows together make the rows
// the rule changes, when no other client adds rows that hold a value being converted, and no
// row of several fields is left in one field and written in another.
#pragma once

#include "run/changerun.h"
#include "run/chunkreader.h"
#include "run/chunkwriter.h"

#include <QHash>
#include <QList>
#include <QString>

class RunTally
{
public:
    // The counts go into the summary as they come.
    explicit RunTally(ChangeRunSummary &summary) : summary_(summary) {}

    // A prepared chunk's counts, and its items without those whose old values were refused
    // before, whose rows count as refused.
    void takeRead(const PreparedChunk &chunk, WriteRows &rows);

    // A writer's result (without a failure): its rows written and refused, its rows left, and
    // its items that found fewer rows than were read with them, kept for the end of the pass.
    void takeWritten(const WriteResult &result);

    // Whether items the pass missed are left to write.
    bool hasMissed() const { return !missed_.isEmpty(); }
    // Up to `limit` of them, taken out, with the rows read with each; none refused before.
    WriteRows takeMissed(qsizetype limit);
    // The results of writing such items to each table that may hold their rows: what is still
    // missing once every table was written was changed or deleted by another client, and is
    // left. Returns those items, with their rows left.
    QList<MissingRows> takeMissedResults(const WriteRows &items, const QList<WriteResult> &results);
    // The results of writing a field of such items on its own: a row that another client changed
    // in one field has its other fields converted, and counts as written too.
    void takeFieldResults(const QList<WriteResult> &results);

private:
    void refuse(const RefusedItem &item);
    // The item's old values are refused from now on; the first text is the run's first error.
    void noteRefused(const RefusedItem &item);
    void countRefusal(const QString &text, qint64 rows);

    ChangeRunSummary &summary_;
    QHash<QString, QString> refused_;    // the server's text by the old values refused
    QHash<QString, MissingRows> missed_; // items whose rows the pass missed, by old values
};
