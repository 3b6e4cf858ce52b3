#include "run/runtally.h"

#include <QtGlobal>

void RunTally::takeRead(const PreparedChunk &chunk, WriteRows &rows)
{
    summary_.rowsRead += chunk.rowsRead;
    summary_.rowsChanging += chunk.rowsChanging;
    summary_.valuesChanged += chunk.valuesChanged;
    summary_.valuesLeftMixed += chunk.valuesLeftMixed;
    summary_.valuesKept += chunk.valuesKept;
    if (refused_.isEmpty())
        return;
    rows.drop([&](qsizetype i) {
        const auto text = refused_.constFind(rows.key(i));
        if (text == refused_.cend())
            return false;
        countRefusal(*text, rows.counts[i]);
        return true;
    });
}

void RunTally::takeWritten(const WriteResult &result)
{
    summary_.rowsWritten += result.rowsWritten;
    summary_.rowsLeftChanged += result.rowsLeftChanged;
    for (const RefusedItem &item : result.refused)
        refuse(item);
    for (const MissingRows &missing : result.missing) {
        MissingRows &entry = missed_[WriteRows::KeyOf(missing.olds)];
        if (entry.olds.isEmpty()) {
            entry.olds = missing.olds;
            entry.news = missing.news;
        }
        entry.rows += missing.rows;
    }
}

void RunTally::refuse(const RefusedItem &item)
{
    // Both writers may have tried the same values before either knew they were refused: the
    // values count once, their rows each time.
    noteRefused(item);
    countRefusal(item.text, item.rows);
}

void RunTally::noteRefused(const RefusedItem &item)
{
    if (refused_.contains(item.key))
        return;
    refused_.insert(item.key, item.text);
    ++summary_.valuesNotWritten;
    if (summary_.firstError.isEmpty()) {
        summary_.firstError = item.text;
        summary_.firstErrorStep = ChangeRunStep::Write;
    }
}

void RunTally::countRefusal(const QString &fullText, qint64 rows)
{
    // The server's primary message: its details name the refused row's values, which differ
    // from row to row of one reason.
    const QString text = fullText.section(u'\n', 0, 0).trimmed();
    summary_.rowsRefused += rows;
    for (Refusal &refusal : summary_.refusals) {
        if (refusal.text == text) {
            refusal.rows += rows;
            return;
        }
    }
    summary_.refusals.push_back({text, rows});
}

WriteRows RunTally::takeMissed(qsizetype limit)
{
    WriteRows items(missed_.isEmpty() ? 1 : missed_.begin()->olds.size());
    for (auto it = missed_.begin(); it != missed_.end() && items.size() < limit;) {
        if (const auto text = refused_.constFind(it.key()); text != refused_.cend())
            countRefusal(*text, it->rows);
        else
            items.add(QString(), it->olds, it->news, it->rows);
        it = missed_.erase(it);
    }
    items.join();
    return items;
}

QList<MissingRows> RunTally::takeMissedResults(const WriteRows &items,
                                               const QList<WriteResult> &results)
{
    // An item found fewer rows than it missed in a table: the table's shortfall. Found in all
    // the tables together, less the shortfall in each; what is not found is left.
    QHash<QString, qint64> found;
    QHash<QString, qint64> refusedRows;
    for (qsizetype i = 0; i < items.size(); ++i)
        found[items.key(i)] = 0;
    for (const WriteResult &result : results) {
        QHash<QString, qint64> shortfall;
        for (const MissingRows &missing : result.missing)
            shortfall[WriteRows::KeyOf(missing.olds)] += missing.rows;
        for (qsizetype i = 0; i < items.size(); ++i)
            found[items.key(i)] +=
                items.counts[i] - qMin(items.counts[i], shortfall.value(items.key(i)));
        summary_.rowsWritten += result.rowsWritten;
        for (const RefusedItem &item : result.refused) {
            refusedRows[item.key] += item.rows;
            noteRefused(item);
        }
    }
    QList<MissingRows> left;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString key = items.key(i);
        if (const auto text = refused_.constFind(key); text != refused_.cend()) {
            // Refused in one table, the item's rows count once.
            countRefusal(*text, qMin(items.counts[i], refusedRows.value(key)));
            continue;
        }
        const qint64 rows = qMax<qint64>(0, items.counts[i] - found.value(key));
        if (rows == 0)
            continue;
        summary_.rowsLeftChanged += rows;
        MissingRows item{{}, {}, rows};
        for (qsizetype k = 0; k < items.fields(); ++k) {
            item.olds << items.olds[k][i];
            item.news << items.news[k][i];
        }
        left << item;
    }
    return left;
}

void RunTally::takeFieldResults(const QList<WriteResult> &results)
{
    for (const WriteResult &result : results) {
        summary_.rowsWritten += result.rowsWritten;
        for (const RefusedItem &item : result.refused)
            noteRefused(item);
    }
}
