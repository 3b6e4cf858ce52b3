// The most frequent changes a preview has seen so far, at most PreviewChangeLimit of them: what
// it lists, whatever the number of distinct values it reads.
#pragma once

#include "preview/changepreview.h"

#include <QList>
#include <vector>

class TopChanges
{
public:
    // field: the field's place among the fields asked for. Of changes with equal rows, those of
    // an earlier field rank first, and of one field the one offered first; so the list does not
    // depend on the order in which the fields' values arrive.
    void offer(PreviewChange change, int field);

    // The most frequent first; equal counts in the order of the fields.
    QList<PreviewChange> take();

private:
    struct Entry {
        PreviewChange change;
        int field;
        qint64 order;
    };
    static bool ranksBefore(const Entry &a, const Entry &b);

    std::vector<Entry> heap_; // its front is the change that ranks last
    qint64 offered_ = 0;
};
