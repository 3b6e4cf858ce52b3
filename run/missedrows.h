// The end of a change run's pass: the items whose rows moved away while the pass went on (another
// client updated them, so they were not at the place read), written to the whole table by their
// old values. The rows that still hold them are converted wherever they are now, each row once
// with all its fields; the others were changed or deleted by another client, and are left as that
// client made them. Of a row that another client changed in one of several fields, the other
// fields are still converted, field by field.
#pragma once

#include "run/passstatements.h"

class CancelGroup;
class ChunkWriter;
class RunTally;

class MissedRows
{
public:
    MissedRows(const PassStatements &statements, const QList<PassField> &fields,
               const CancelGroup &cancel)
        : statements_(statements), fields_(fields), cancel_(cancel)
    {
    }

    // Writes what the tally holds of them, in bounded pieces, into every table of the pass, and
    // gives the tally the results. Throws RunStopped or RunFailure.
    void write(RunTally &tally, const QList<StoredRelation> &relations, ChunkWriter &writer);

private:
    // Writes the items to each physical table on its own, so that every row written is known by
    // the table that holds it; the results, one a table.
    template <typename Target>
    QList<WriteResult> writeToEach(const QList<StoredRelation> &relations, ChunkWriter &writer,
                                   Target target, const WriteRows &items);

    const PassStatements &statements_;
    const QList<PassField> &fields_;
    const CancelGroup &cancel_;
};
