#include "run/missedrows.h"

#include "db/cancelgroup.h"
#include "run/chunkwriter.h"
#include "run/runfailure.h"
#include "run/runtally.h"

#include <QSet>

namespace {

constexpr qsizetype ItemsLimit = 20000; // written to the whole table at once, before more

} // namespace

void MissedRows::write(RunTally &tally, const QList<StoredRelation> &relations, ChunkWriter &writer)
{
    while (tally.hasMissed()) {
        if (cancel_.cancelled())
            throw RunStopped();
        const WriteRows items = tally.takeMissed(ItemsLimit);
        if (items.size() == 0)
            continue;
        const QList<MissingRows> left = tally.takeMissedResults(
            items, writeToEach(
                       relations, writer,
                       [&](const StoredRelation &relation) {
                           return statements_.rowsTarget(fields_, &relation);
                       },
                       items));
        for (qsizetype k = 0; fields_.size() > 1 && !left.isEmpty() && k < fields_.size(); ++k) {
            QSet<QString> values; // the field's old values still to find, once each
            WriteRows field(1);
            for (const MissingRows &item : left) {
                if (!item.news[k].isEmpty() && !values.contains(item.olds[k])) {
                    values.insert(item.olds[k]);
                    field.add(QString(), {item.olds[k]}, {item.news[k]}, item.rows);
                }
            }
            if (field.size() == 0)
                continue;
            field.join();
            tally.takeFieldResults(writeToEach(
                relations, writer,
                [&](const StoredRelation &relation) {
                    return statements_.valuesTarget(fields_[k], &relation);
                },
                field));
        }
    }
}

template <typename Target>
QList<WriteResult> MissedRows::writeToEach(const QList<StoredRelation> &relations,
                                           ChunkWriter &writer, Target target,
                                           const WriteRows &items)
{
    QList<WriteResult> results;
    for (const StoredRelation &relation : relations) {
        writer.submit(WriteJob{target(relation), std::nullopt, items});
        WriteResult result = writer.wait();
        if (result.failure)
            ThrowUnlessStopped(cancel_, *result.failure, ChangeRunStep::Write);
        results << std::move(result);
    }
    return results;
}
