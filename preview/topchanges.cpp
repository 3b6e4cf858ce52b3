#include "preview/topchanges.h"

#include <algorithm>

bool TopChanges::ranksBefore(const Entry &a, const Entry &b)
{
    if (a.change.rows != b.change.rows)
        return a.change.rows > b.change.rows;
    if (a.field != b.field)
        return a.field < b.field;
    return a.order < b.order;
}

void TopChanges::offer(PreviewChange change, int field)
{
    Entry entry{std::move(change), field, offered_++};
    if (heap_.size() == size_t(PreviewChangeLimit)) {
        if (!ranksBefore(entry, heap_.front()))
            return;
        std::pop_heap(heap_.begin(), heap_.end(), ranksBefore);
        heap_.pop_back();
    }
    heap_.push_back(std::move(entry));
    std::push_heap(heap_.begin(), heap_.end(), ranksBefore);
}

QList<PreviewChange> TopChanges::take()
{
    std::sort(heap_.begin(), heap_.end(), ranksBefore);
    QList<PreviewChange> changes;
    changes.reserve(qsizetype(heap_.size()));
    for (Entry &entry : heap_)
        changes.push_back(std::move(entry.change));
    heap_.clear();
    return changes;
}
