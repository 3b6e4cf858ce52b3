// How a preview counts. All of it runs in one read-only transaction with one snapshot, so that
// the counts agree with each other and the server itself refuses any write.
//   1. The table (with its inheritance children or partitions that have storage) is walked by
//      ranges of its physical blocks, as a run walks it, counting the rows and, for each field,
//      the rows whose value only the product's rule can judge. A foreign table of the tree,
//      whose rows live on another server and which has no blocks here, is counted by one read
//      of its own through this server.
//   2. Values of ASCII characters only are judged by the server: the condition by which a run
//      leaves out the ASCII values the rule cannot change holds exactly for the ones it does
//      change (the "C" collation's case mapping and the ASCII patterns are the rule itself on
//      ASCII), so the server counts them, their distinct values and the most frequent ones in
//      place, and none of them crosses the wire. The tests that compare a preview with the run
//      that follows it hold the condition to that.
//   3. Every other value that may change (one with other characters, every value of an array,
//      every value in a database that is not UTF-8) is grouped by the server and sent once per
//      distinct value, in batches through a cursor; the product's rule converts it here.
// The distinct values are counted by the server, which keeps them in its work memory or on its
// own disk, so the client holds one batch and the 1,000 most frequent changes at a time,
// whatever the size of the table.
#include "preview/changepreview.h"

#include "casing/wordexceptions.h"
#include "db/arraytext.h"
#include "db/cancelgroup.h"
#include "db/changefilter.h"
#include "db/chunksizing.h"
#include "db/dbsession.h"
#include "db/progressreport.h"
#include "db/sqlquote.h"
#include "db/tableplan.h"

#include <QElapsedTimer>
#include <QVariant>
#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr qint64 ProgressIntervalMs = 50;
// Text fetched per batch of the cursor, in UTF-16 bytes.
constexpr qint64 BatchTargetBytes = 1 << 20;
// The walk's share of the progress bar, about its share of the time; the rest goes to the
// fields in turn.
constexpr int WalkPercent = 25;

// A phase's part of the progress bar, from one percentage to another.
struct Slice {
    double from;
    double to;

    int at(double fraction) const { return int(from + (to - from) * qBound(0.0, fraction, 1.0)); }
    Slice part(double fromFraction, double toFraction) const
    {
        return {from + (to - from) * fromFraction, from + (to - from) * toFraction};
    }
};

const QString CursorName = QStringLiteral("recasor_preview");

struct Field {
    FieldKind kind;
    QString sql; // "name"
    FieldCounts counts;
    qint64 clientRows = 0; // rows whose value the rule here must judge
};

class PreviewFailure
{
public:
    explicit PreviewFailure(const QString &text) : text(text) {}
    QString text;
};

// The most frequent changes seen so far: a heap whose top is the least frequent kept.
class TopChanges
{
public:
    void offer(PreviewChange change)
    {
        if (heap_.size() == PreviewChangeLimit) {
            if (change.rows <= heap_.front().rows)
                return;
            std::pop_heap(heap_.begin(), heap_.end(), moreRows);
            heap_.pop_back();
        }
        heap_.push_back(std::move(change));
        std::push_heap(heap_.begin(), heap_.end(), moreRows);
    }

    // The most frequent first; equal counts in the order the fields were asked for.
    QList<PreviewChange> take(const QStringList &fieldOrder)
    {
        QList<PreviewChange> changes(heap_.begin(), heap_.end());
        std::stable_sort(changes.begin(), changes.end(),
                         [&](const PreviewChange &a, const PreviewChange &b) {
                             if (a.rows != b.rows)
                                 return a.rows > b.rows;
                             return fieldOrder.indexOf(a.field) < fieldOrder.indexOf(b.field);
                         });
        heap_.clear();
        return changes;
    }

private:
    static bool moreRows(const PreviewChange &a, const PreviewChange &b) { return a.rows > b.rows; }

    std::vector<PreviewChange> heap_;
};

QString Cut(QString value)
{
    if (value.size() > PreviewValueChars + 1)
        value.truncate(PreviewValueChars + 1);
    return value;
}

class Previewer
{
public:
    Previewer(DbSession &session, const TableRef &table, CaseMode mode, const WordExceptions &words,
              const std::atomic<bool> &stop, const std::function<void(int)> &progress,
              PreviewResult &result)
        : session_(session), table_(table), mode_(mode), words_(words), stop_(stop),
          progress_(progress, ProgressIntervalMs), result_(result)
    {
    }

    void run()
    {
        plan();
        if (!fields_.isEmpty() && !(relations_.isEmpty() && keyed_.isEmpty())) {
            walk();
            // Each field has an equal share of what the walk leaves, split between the server's
            // count and the rule's by the rows each of them judges.
            const Slice fields{WalkPercent, 100};
            const double n = double(fields_.size());
            for (qsizetype k = 0; k < fields_.size(); ++k) {
                Field &field = fields_[k];
                const Slice slice = fields.part(k / n, (k + 1) / n);
                const qint64 rows = field.counts.rowsRead;
                const double serverShare = serverJudgesAscii(field) && rows > 0
                                               ? double(rows - field.clientRows) / rows
                                               : 0.0;
                countAsciiChanges(field);
                progress_(slice.at(serverShare));
                countOtherChanges(field, slice.part(serverShare, 1.0));
                progress_(slice.at(1.0));
            }
        }
        for (const Field &field : fields_)
            result_.counted.push_back(field.counts);
        result_.changes = top_.take(result_.fields);
        session_.execute(QStringLiteral("COMMIT"));
        progress_(100, true);
    }

private:
    // The session's settings, the snapshot, the fields and the tables to read.
    void plan()
    {
        // One statement groups many values: in memory rather than on disk where it can, and
        // without compiling its expressions to machine code, which costs more than it saves.
        session_.execute(QStringLiteral("SET jit = off"));
        session_.execute(QStringLiteral("SET work_mem = '64MB'"));
        QSqlQuery encoding = session_.exec(QStringLiteral("SHOW server_encoding"));
        // A listed word may change an ASCII value that the rule leaves as it is: with a list,
        // the rule judges every value, as outside UTF-8.
        utf8_ = encoding.next() && encoding.value(0).toString() == QLatin1String("UTF8") &&
                !words_.appliesTo(mode_);
        session_.execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY"));

        const std::optional<TablePlan> plan = TablePlan::Of(session_, table_.sql());
        if (!plan)
            throw PreviewFailure(QStringLiteral("The table %1 does not exist.").arg(table_.sql()));
        for (const QString &name : std::as_const(result_.fields)) {
            const std::optional<FieldKind> kind = plan->field(name);
            if (!kind)
                throw PreviewFailure(QStringLiteral("The table %1 has no field %2.")
                                         .arg(table_.sql(), QuoteIdentifier(name)));
            if (!kind->changeable()) {
                result_.leftAlone.push_back(*kind);
                continue;
            }
            Field field{*kind, QuoteIdentifier(name), {}, 0};
            field.counts.name = name;
            fields_.push_back(field);
        }
        // Their sizes wait for a client that holds a table locked.
        if (stop_.load(std::memory_order_relaxed))
            throw PreviewFailure(QString());
        relations_ = plan->storedRelations(session_);
        keyed_ = plan->keyedRelations(session_);
    }

    // What a field's values are read as: text and varchar as they are, other types in their
    // text form, arrays as the array itself.
    QString valueSql(const Field &field) const
    {
        return field.kind.plainText || field.kind.array ? field.sql : TextFormOf(field.sql);
    }

    // The values that only the product's rule can judge: those the server may not leave out
    // and cannot judge itself. An array may change when one of its elements may.
    QString clientJudgesSql(const Field &field, const QString &v) const
    {
        if (field.kind.array)
            return QStringLiteral("EXISTS (SELECT FROM unnest(%1) AS e(x) WHERE %2)")
                .arg(v, MayChangeSql(mode_, utf8_, QStringLiteral("e.x::text")));
        if (!utf8_)
            return QStringLiteral("(%1 IS NOT NULL AND %2)").arg(v, MayChangeSql(mode_, false, v));
        return QStringLiteral("octet_length(%1) <> length(%1)").arg(v);
    }

    // The ASCII values the rule changes; in UTF-8 a value is all ASCII exactly when it has one
    // byte per character.
    QString asciiChangesSql(const QString &v) const
    {
        return QStringLiteral("(octet_length(%1) = length(%1) AND %2)")
            .arg(v, AsciiChangeSql(mode_, v));
    }

    bool serverJudgesAscii(const Field &field) const { return utf8_ && !field.kind.array; }

    // The field's values over all the tables to read, as column v, where the condition on v
    // holds; arrays in their text form.
    QString valuesSql(const Field &field, const std::function<QString(const QString &)> &where)
    {
        QStringList branches;
        for (const QString &relation : relationSqls()) {
            if (field.kind.array)
                branches << QStringLiteral("SELECT %1 AS v FROM ONLY %2 WHERE %3")
                                .arg(TextFormOf(field.sql), relation, where(field.sql));
            else if (field.kind.plainText)
                branches << QStringLiteral("SELECT %1 AS v FROM ONLY %2 WHERE %3")
                                .arg(field.sql, relation, where(field.sql));
            else
                // OFFSET 0 keeps the server from computing the text form again in the condition.
                branches << QStringLiteral("SELECT v FROM (SELECT %1 AS v FROM ONLY %2 OFFSET 0)"
                                           " AS r WHERE %3")
                                .arg(valueSql(field), relation, where(QStringLiteral("v")));
        }
        return branches.join(QStringLiteral(" UNION ALL "));
    }

    // Every table of the tree that holds rows, stored here or not.
    QStringList relationSqls() const
    {
        QStringList sqls;
        for (const StoredRelation &relation : relations_)
            sqls << relation.sql;
        for (const KeyedRelation &relation : keyed_)
            sqls << relation.sql;
        return sqls;
    }

    // 1. The rows, and the rows of each field whose values are judged here, by block ranges.
    void walk()
    {
        qint64 totalBlocks = 0;
        for (const StoredRelation &relation : std::as_const(relations_))
            totalBlocks += relation.blocks;
        // A foreign table counts as much as a stored one of average size: its size is not
        // known here.
        const qint64 foreignBlocks =
            relations_.isEmpty() ? 1 : qMax<qint64>(1, totalBlocks / relations_.size());
        totalBlocks += foreignBlocks * keyed_.size();
        QStringList columns, counts{QStringLiteral("count(*)")};
        for (qsizetype k = 0; k < fields_.size(); ++k) {
            const QString v = QStringLiteral("v%1").arg(k);
            columns << valueSql(fields_[k]) + QStringLiteral(" AS ") + v;
            counts
                << QStringLiteral("count(*) FILTER (WHERE %1)").arg(clientJudgesSql(fields_[k], v));
        }
        qint64 rows = 0, doneBlocks = 0;
        const auto count = [&](const QString &relation, const QString &condition, qint64 blocks) {
            QSqlQuery chunk =
                read(QStringLiteral("SELECT %1 FROM (SELECT %2 FROM ONLY %3%4"
                                    " OFFSET 0) AS chunk")
                         .arg(counts.join(QStringLiteral(", ")), columns.join(QStringLiteral(", ")),
                              relation, condition));
            if (chunk.next()) {
                rows += chunk.value(0).toLongLong();
                for (qsizetype k = 0; k < fields_.size(); ++k)
                    fields_[k].clientRows += chunk.value(int(k) + 1).toLongLong();
            }
            doneBlocks += blocks;
            progress_(int(WalkPercent * doneBlocks / totalBlocks));
        };
        for (const StoredRelation &relation : std::as_const(relations_)) {
            qint64 chunkBlocks = ChunkSizing::FirstBlocks;
            for (qint64 first = 0; first < relation.blocks;) {
                const qint64 end = qMin(relation.blocks, first + chunkBlocks);
                QElapsedTimer clock;
                clock.start();
                count(relation.sql,
                      QStringLiteral(" WHERE ctid >= '(%1,0)'::tid AND ctid < '(%2,0)'::tid")
                          .arg(first)
                          .arg(end),
                      end - first);
                chunkBlocks = ChunkSizing::NextBlocks(chunkBlocks, clock.elapsed(), 0);
                first = end;
            }
        }
        for (const KeyedRelation &relation : std::as_const(keyed_))
            count(relation.sql, QString(), foreignBlocks);
        for (Field &field : fields_)
            field.counts.rowsRead = rows;
    }

    // 2. The ASCII values that change, counted and ranked by the server alone. Grouping a
    //    million texts costs the server about twice as much as grouping their 64-bit hashes,
    //    so the values are grouped by hash first: a hash that occurs once stands for a value
    //    that occurs once. Only the hashes that occur more than once (values that repeat, and
    //    the rare values whose hashes collide) are grouped again by the values themselves.
    void countAsciiChanges(Field &field)
    {
        if (!serverJudgesAscii(field))
            return;
        const QString values =
            QStringLiteral("SELECT v, hashtextextended(v COLLATE \"C\", 0) AS h"
                           " FROM (%1) AS s")
                .arg(valuesSql(field, [this](const QString &v) { return asciiChangesSql(v); }));
        QSqlQuery stats =
            read(QStringLiteral("SELECT count(*), sum(n), count(*) FILTER (WHERE n > 1)"
                                " FROM (SELECT h, count(*) AS n FROM (%1) AS s"
                                " GROUP BY h) AS g")
                     .arg(values));
        if (!stats.next() || stats.value(0).toLongLong() == 0)
            return;
        const qint64 hashes = stats.value(0).toLongLong();
        const qint64 repeatedHashes = stats.value(2).toLongLong();
        field.counts.rowsChanging += stats.value(1).toLongLong();
        field.counts.valuesChanging += hashes - repeatedHashes;
        const QString cut = QStringLiteral("left(v, %1)").arg(PreviewValueChars + 1);
        if (repeatedHashes == 0) {
            // Every value occurs once: any of them is among the most frequent.
            QSqlQuery top = read(QStringLiteral("SELECT %1 FROM (%2) AS s LIMIT %3")
                                     .arg(cut, values)
                                     .arg(PreviewChangeLimit));
            while (top.next())
                offerAscii(field, top.value(0).toString(), 1);
            return;
        }
        // Kind 0: the distinct values behind the repeated hashes; 1: the most frequent of
        // them; 2: values that occur once, should there be fewer than enough of the others.
        QSqlQuery repeated = read(
            QStringLiteral(
                "WITH s AS NOT MATERIALIZED (%1),"
                " m AS MATERIALIZED (SELECT h FROM s GROUP BY h HAVING count(*) > 1),"
                " g AS MATERIALIZED (SELECT v COLLATE \"C\" AS v, count(*) AS n FROM s"
                " WHERE h IN (SELECT h FROM m) GROUP BY 1)"
                " SELECT 0, NULL, count(*) FROM g"
                " UNION ALL (SELECT 1, %2, n FROM g ORDER BY n DESC, v LIMIT %3)"
                " UNION ALL (SELECT 2, %2, 1 FROM s WHERE h NOT IN (SELECT h FROM m) LIMIT %3)")
                .arg(values, cut)
                .arg(PreviewChangeLimit));
        while (repeated.next()) {
            if (repeated.value(0).toInt() == 0)
                field.counts.valuesChanging += repeated.value(2).toLongLong();
            else
                offerAscii(field, repeated.value(1).toString(), repeated.value(2).toLongLong());
        }
    }

    void offerAscii(const Field &field, const QString &old, qint64 rows)
    {
        top_.offer({field.counts.name, old, ApplyCaseMode(mode_, old, &words_), rows});
    }

    // 3. Every other value that may change, once per distinct value, judged by the rule here.
    void countOtherChanges(Field &field, const Slice &slice)
    {
        if (field.clientRows == 0)
            return;
        const QString values =
            valuesSql(field, [&](const QString &v) { return clientJudgesSql(field, v); });
        read(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR SELECT v COLLATE \"C\", count(*)"
                            " FROM (%2) AS c GROUP BY 1")
                 .arg(CursorName, values));
        qint64 batch = 256, rowsJudged = 0;
        while (true) {
            QSqlQuery rows =
                read(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(batch).arg(CursorName));
            qint64 fetched = 0, bytes = 0;
            while (rows.next()) {
                ++fetched;
                rowsJudged += rows.value(1).toLongLong();
                if (rows.value(0).isNull())
                    continue;
                const QString old = rows.value(0).toString();
                bytes += old.size() * 2;
                QString converted;
                if (field.kind.array) {
                    const std::optional<QString> array =
                        ApplyCaseModeToArrayText(mode_, old, &words_);
                    if (!array)
                        throw PreviewFailure(
                            QStringLiteral("The values read could not be taken apart."));
                    converted = *array;
                } else {
                    converted = ApplyCaseMode(mode_, old, &words_);
                }
                if (converted == old)
                    continue;
                const qint64 n = rows.value(1).toLongLong();
                ++field.counts.valuesChanging;
                field.counts.rowsChanging += n;
                top_.offer({field.counts.name, Cut(old), Cut(std::move(converted)), n});
            }
            progress_(slice.at(double(rowsJudged) / field.clientRows));
            if (fetched < batch)
                break;
            const qint64 next = bytes > 0 ? batch * BatchTargetBytes / bytes : batch * 2;
            batch = qBound(qint64(16), next, qint64(4096));
        }
        session_.execute(QStringLiteral("CLOSE %1").arg(CursorName));
    }

    // A statement that reads the table: one that requestStop() can cancel.
    QSqlQuery read(const QString &sql)
    {
        if (stop_.load(std::memory_order_relaxed))
            throw PreviewFailure(QString());
        return session_.exec(sql);
    }

    DbSession &session_;
    const TableRef &table_;
    const CaseMode mode_;
    const WordExceptions &words_;
    const std::atomic<bool> &stop_;
    ProgressReport progress_; // never goes back within a preview
    PreviewResult &result_;
    QList<Field> fields_;
    QList<StoredRelation> relations_; // with their sizes when the preview began
    QList<KeyedRelation> keyed_;      // the foreign tables of the tree
    TopChanges top_;
    bool utf8_ = false;
};

} // namespace

qint64 PreviewResult::valuesChanging() const
{
    qint64 total = 0;
    for (const FieldCounts &field : counted)
        total += field.valuesChanging;
    return total;
}

ChangePreview::ChangePreview(const ConnectionSettings &settings, const TableRef &table,
                             const QStringList &fields, std::optional<CaseMode> mode,
                             QObject *parent, const QStringList &exceptionWords)
    : Job(settings, parent), change_{table, fields, mode, exceptionWords}
{
    qRegisterMetaType<PreviewResult>();
}

void ChangePreview::run()
{
    PreviewResult result;
    result.table = change_.table;
    result.fields = change_.fields;
    result.mode = change_.mode;
    if (!change_.mode) {
        result.noMode = true;
        emit finished(result);
        return;
    }
    if (stopRequested()) {
        result.stopped = true;
        emit finished(result);
        return;
    }
    try {
        DbSession::Options known;
        known.cancellable = true;
        DbSession session(settings(), known);
        const CancelMembership membership(cancelGroup(), session);
        const WordExceptions words(change_.exceptionWords);
        Previewer(
            session, change_.table, *change_.mode, words, stopFlag(),
            [this](int percent) { emit progress(percent); }, result)
            .run();
    } catch (const PreviewFailure &failure) {
        result.error = failure.text;
    } catch (const DbError &error) {
        result.error = error.text();
    }
    if (stopRequested()) {
        // What was counted before the stop is no preview of the whole table.
        result.stopped = true;
        result.error.clear();
        result.counted.clear();
        result.changes.clear();
    }
    emit finished(result);
}
