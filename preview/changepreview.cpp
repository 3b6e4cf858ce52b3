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
//      place, every field in the same pass, and none of them crosses the wire. The tests that
//      compare a preview with the run that follows it hold the condition to that.
//   3. Every other value that may change (one with other characters, every value of an array,
//      every value in a database that is not UTF-8) is grouped by the server and sent once per
//      distinct value of each field, every field in the same pass, in batches through a
//      cursor; the product's rule converts it here.
// The distinct values are counted by the server, which keeps them in its work memory or on its
// own disk, so the client holds one batch and the 1,000 most frequent changes at a time,
// whatever the size of the table.
#include "preview/changepreview.h"

#include "casing/wordexceptions.h"
#include "db/arraytext.h"
#include "db/cancelgroup.h"
#include "db/chunksizing.h"
#include "db/dbsession.h"
#include "db/rowcondition.h"
#include "db/sqlquote.h"
#include "db/tableplan.h"
#include "jobs/csvfile.h"
#include "jobs/progressreport.h"
#include "preview/previewsql.h"
#include "preview/topchanges.h"

#include <QElapsedTimer>
#include <QVariant>
#include <functional>

namespace {

constexpr qint64 ProgressIntervalMs = 50;
// Text fetched per batch of the cursor, in UTF-16 bytes.
constexpr qint64 BatchTargetBytes = 1 << 20;
// The walk's share of the progress bar, about its share of the time; the rest goes to the
// server's count and the rule's.
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
// Distinct values of a field that the server groups by value rather than by hash: some 10 MiB
// of its work memory for values of 40 characters.
constexpr qint64 FewValues = 100000;

struct Field {
    FieldKind kind;
    FieldCounts counts;
    qint64 clientRows = 0;  // rows whose value the rule here must judge
    qint64 asciiHashes = 0; // distinct hashes of the ASCII values that change
    qint64 asciiOnce = 0;   // the ASCII values that change in one row only
    bool asciiRepeats = false;
};

class PreviewFailure
{
public:
    explicit PreviewFailure(const QString &text) : text(text) {}
    QString text;
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
              const QString &condition, const std::atomic<bool> &stop,
              const std::function<void(int)> &progress, const ProgressReport::RowsReport &rows,
              PreviewResult &result)
        : session_(session), table_(table), mode_(mode), words_(words), conditionText_(condition),
          stop_(stop), progress_(progress, ProgressIntervalMs, rows), result_(result)
    {
    }

    void run()
    {
        plan();
        if (!result_.exportFile.isEmpty()) {
            exportChanges();
            session_.execute(QStringLiteral("COMMIT"));
            progress_(100, true);
            return;
        }
        if (!fields_.isEmpty() && !(relations_.isEmpty() && keyed_.isEmpty())) {
            walk();
            // What the walk leaves is split between the server's count and the rule's by the
            // values each of them judges.
            const Slice rest{WalkPercent, 100};
            qint64 serverValues = 0, clientValues = 0;
            for (qsizetype k = 0; k < fields_.size(); ++k) {
                clientValues += fields_[k].clientRows;
                if (sql_->serverJudgesAscii(k))
                    serverValues += fields_[k].counts.rowsRead - fields_[k].clientRows;
            }
            const double serverShare =
                serverValues > 0 ? double(serverValues) / (serverValues + clientValues) : 0.0;
            countAsciiChanges();
            progress_(rest.at(serverShare));
            countOtherChanges(rest.part(serverShare, 1.0));
        }
        for (const Field &field : std::as_const(fields_))
            result_.counted.push_back(field.counts);
        result_.changes = top_.take();
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
        // So with the options that leave values as written, which it alone can tell.
        utf8_ = encoding.next() && encoding.value(0).toString() == QLatin1String("UTF8") &&
                !words_.appliesTo(mode_) && !words_.leaveMixedCase() && !words_.keepsAny();
        // The server checks the condition before the snapshot is taken; nothing is read
        // without it.
        if (!conditionText_.isEmpty()) {
            try {
                condition_ = RowCondition::Check(session_, table_, conditionText_);
            } catch (const ConditionRefused &refused) {
                throw PreviewFailure(refused.text());
            }
        }
        session_.execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY"));

        const std::optional<TablePlan> plan = TablePlan::Of(session_, table_.sql());
        if (!plan)
            throw PreviewFailure(QStringLiteral("The table %1 does not exist.").arg(table_.sql()));
        // A field named twice is counted once.
        result_.fields.removeDuplicates();
        for (const QString &name : std::as_const(result_.fields)) {
            const std::optional<FieldKind> kind = plan->field(name);
            if (!kind)
                throw PreviewFailure(QStringLiteral("The table %1 has no field %2.")
                                         .arg(table_.sql(), QuoteIdentifier(name)));
            if (!kind->changeable()) {
                result_.leftAlone.push_back(*kind);
                continue;
            }
            Field field{*kind, {}};
            field.counts.name = name;
            fields_.push_back(field);
        }
        // Their sizes wait for a client that holds a table locked.
        if (stop_.load(std::memory_order_relaxed))
            throw PreviewFailure(QString());
        relations_ = plan->storedRelations(session_);
        keyed_ = plan->keyedRelations(session_);
        QList<FieldKind> kinds;
        for (const Field &field : std::as_const(fields_))
            kinds << field.kind;
        sql_.emplace(mode_, utf8_, kinds, relationSqls(), condition_.sql());
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
        QList<qsizetype> all;
        QStringList counts{QStringLiteral("count(*)")};
        for (qsizetype k = 0; k < fields_.size(); ++k) {
            all << k;
            counts << QStringLiteral("count(*) FILTER (WHERE %1)")
                          .arg(sql_->clientJudges(k, QStringLiteral("v%1").arg(k)));
        }
        qint64 rows = 0, doneBlocks = 0;
        // The rows of one table where the condition holds, counted as the walk's share of that
        // many blocks.
        const auto count = [&](const QString &relation, const QString &condition, qint64 blocks) {
            QSqlQuery chunk = read(QStringLiteral("SELECT %1 FROM (%2) AS chunk")
                                       .arg(counts.join(QStringLiteral(", ")),
                                            sql_->relationRows(all, relation, condition)));
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
                      QStringLiteral("ctid >= '(%1,0)'::tid AND ctid < '(%2,0)'::tid")
                          .arg(QString::number(first), QString::number(end)),
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

    // 2. The ASCII values that change, counted and ranked by the server alone, every field in
    //    one pass. Counting a million distinct texts costs the server about twice as much as
    //    counting their 64-bit hashes, so the values are counted by hash first: a hash that occurs
    //    once stands for a value that occurs once. Only in the fields where some hash occurs more
    //    than once (values that repeat, and the rare values whose hashes collide) are those
    //    hashes grouped again by the values themselves.
    void countAsciiChanges()
    {
        QList<qsizetype> ascii;
        QStringList hashes, counts;
        for (qsizetype k = 0; k < fields_.size(); ++k) {
            if (!sql_->serverJudgesAscii(k))
                continue;
            ascii << k;
            hashes << QStringLiteral("CASE WHEN %1 THEN %2 END AS h%3")
                          .arg(sql_->asciiChanges(QStringLiteral("v%1").arg(k)),
                               PreviewSql::hash(QStringLiteral("v%1").arg(k)), QString::number(k));
            counts << QStringLiteral("count(DISTINCT h%1), count(h%1)").arg(k);
        }
        if (ascii.isEmpty())
            return;
        // OFFSET 0 computes each hash once, not once for each count of it. The hashes cannot be
        // counted in parts, but they can be computed by parallel workers: the server's estimate
        // of passing a row between processes is far above its cost for a row of a few hashes.
        session_.execute(QStringLiteral("SET parallel_tuple_cost = 0.01"));
        QSqlQuery stats =
            read(QStringLiteral("SELECT %1 FROM (SELECT %2 FROM (%3) AS r OFFSET 0) AS s")
                     .arg(counts.join(QStringLiteral(", ")), hashes.join(QStringLiteral(", ")),
                          sql_->rows(ascii)));
        session_.execute(QStringLiteral("RESET parallel_tuple_cost"));
        if (!stats.next())
            return;
        QList<qsizetype> repeating;
        for (qsizetype i = 0; i < ascii.size(); ++i) {
            Field &field = fields_[ascii[i]];
            const qint64 rows = stats.value(int(2 * i + 1)).toLongLong();
            field.asciiHashes = stats.value(int(2 * i)).toLongLong();
            field.counts.rowsChanging += rows;
            field.asciiRepeats = rows > field.asciiHashes;
            if (field.asciiRepeats)
                repeating << ascii[i];
            else
                field.asciiOnce = field.asciiHashes;
            field.counts.valuesChanging += field.asciiHashes;
        }
        if (!repeating.isEmpty())
            countRepeatedAscii(repeating);
        listAsciiOnce(ascii);
    }

    // The fields where some hash stands for more than one row. Where a field has few distinct
    //    values, as names and cities do, grouping them by value costs less than grouping their
    //    hashes again; where it has many, most of them once, only the values behind the hashes
    //    that repeat are grouped.
    void countRepeatedAscii(const QList<qsizetype> &ks)
    {
        QList<qsizetype> few, many;
        for (qsizetype k : ks)
            (fields_[k].asciiHashes <= FewValues ? few : many) << k;
        if (!few.isEmpty())
            takeRepeats(read(sql_->groupedAscii(few)));
        if (many.isEmpty())
            return;
        // The values that occur once are looked for only in a field that has any.
        QList<PreviewSql::OnceWanted> once;
        for (qsizetype k : many) {
            if (const qint64 wanted = onceWanted(k); wanted > 0)
                once.push_back({k, fields_[k].asciiHashes, wanted});
        }
        takeRepeats(read(sql_->hashedAscii(many, once)));
    }

    // Rows of kind 0: the hashes of field k that stand for more than one row, 1: the distinct
    // values behind them, 2: a change for the list, 3: the values that occur once, 4: all the
    // distinct values.
    void takeRepeats(QSqlQuery query)
    {
        while (query.next()) {
            const qsizetype k = query.value(1).toInt();
            Field &field = fields_[k];
            const qint64 n = query.value(3).toLongLong();
            switch (query.value(0).toInt()) {
            case 0:
                field.counts.valuesChanging -= n;
                field.asciiOnce = field.asciiHashes - n;
                break;
            case 1:
                field.counts.valuesChanging += n;
                break;
            case 2:
                offerAscii(k, query.value(2).toString(), n);
                break;
            case 3:
                field.asciiOnce = n;
                break;
            case 4:
                field.counts.valuesChanging += n - field.asciiHashes;
                break;
            }
        }
    }

    // The values that occur once in the fields whose hashes do not repeat: the server sends
    // no more of a field than the list could take after the fields before it.
    void listAsciiOnce(const QList<qsizetype> &ks)
    {
        QStringList branches;
        for (qsizetype k : ks) {
            const qint64 wanted = fields_[k].asciiRepeats ? 0 : onceWanted(k);
            if (wanted > 0)
                branches << sql_->asciiValues(k, wanted);
        }
        if (branches.isEmpty())
            return;
        QSqlQuery once = read(branches.join(QStringLiteral(" UNION ALL ")));
        while (once.next())
            offerAscii(once.value(0).toInt(), once.value(1).toString(), 1);
    }

    // How many of the field's values that occur once the list may take: at most what the
    // values that occur once in the fields before it leave, which rank before them.
    qint64 onceWanted(qsizetype k) const
    {
        qint64 left = PreviewChangeLimit;
        for (qsizetype j = 0; j < k; ++j)
            left -= fields_[j].asciiOnce; // not known yet of a field whose hashes repeat: 0
        left = qMax(qint64(0), left);
        return fields_[k].asciiRepeats ? left : qMin(fields_[k].asciiOnce, left);
    }

    void offerAscii(qsizetype k, const QString &old, qint64 rows)
    {
        top_.offer({fields_[k].counts.name, old, ApplyCaseMode(mode_, old, &words_), rows}, int(k));
    }

    // 3. Every other value that may change, once per distinct value of each field, every field
    //    in one pass, judged by the rule here.
    void countOtherChanges(const Slice &slice)
    {
        QList<qsizetype> ks;
        qint64 clientRows = 0;
        for (qsizetype k = 0; k < fields_.size(); ++k) {
            if (fields_[k].clientRows > 0)
                ks << k;
            clientRows += fields_[k].clientRows;
        }
        if (ks.isEmpty())
            return;
        const QString pairs = sql_->pairs(
            ks,
            [this](qsizetype k) { return sql_->clientJudges(k, QStringLiteral("r.v%1").arg(k)); },
            true);
        read(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR SELECT k, v COLLATE \"C\", count(*)"
                            " FROM (%2) AS c GROUP BY 1, 2")
                 .arg(CursorName, pairs));
        qint64 batch = 256, rowsJudged = 0;
        while (true) {
            QSqlQuery rows =
                read(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(batch).arg(CursorName));
            qint64 fetched = 0, bytes = 0;
            while (rows.next()) {
                ++fetched;
                const qint64 n = rows.value(2).toLongLong();
                rowsJudged += n;
                const QString old = rows.value(1).toString();
                bytes += old.size() * 2;
                judge(rows.value(0).toInt(), old, n);
            }
            progress_(slice.at(double(rowsJudged) / clientRows));
            if (fetched < batch)
                break;
            const qint64 next = bytes > 0 ? batch * BatchTargetBytes / bytes : batch * 2;
            batch = qBound(qint64(16), next, qint64(4096));
        }
        session_.execute(QStringLiteral("CLOSE %1").arg(CursorName));
    }

    // A value of field k as the rule writes it.
    QString converted(qsizetype k, const QString &old) const
    {
        if (!fields_[k].kind.array)
            return ApplyCaseMode(mode_, old, &words_);
        const std::optional<QString> array = ApplyCaseModeToArrayText(mode_, old, &words_);
        if (!array)
            throw PreviewFailure(QStringLiteral("The values read could not be taken apart."));
        return *array;
    }

    // Every change a run would make, a line for each distinct value of each field that changes,
    // the most rows first: the server groups every value the rule may change, and the rule
    // here converts it, in batches through a cursor, so that the client holds one batch at a
    // time whatever the number of changes.
    void exportChanges()
    {
        CsvFile file(result_.exportFile, {QStringLiteral("field"), QStringLiteral("old value"),
                                          QStringLiteral("new value"), QStringLiteral("rows")});
        if (!fields_.isEmpty() && !(relations_.isEmpty() && keyed_.isEmpty())) {
            QList<qsizetype> ks;
            for (qsizetype k = 0; k < fields_.size(); ++k)
                ks << k;
            const QString pairs = sql_->pairs(
                ks,
                [this](qsizetype k) {
                    const QString v = QStringLiteral("r.v%1").arg(k);
                    return sql_->serverJudgesAscii(k)
                               ? QStringLiteral("(%1 OR %2)")
                                     .arg(sql_->clientJudges(k, v), sql_->asciiChanges(v))
                               : sql_->clientJudges(k, v);
                },
                true);
            read(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR SELECT k, v COLLATE \"C\","
                                " count(*) FROM (%2) AS c GROUP BY 1, 2 ORDER BY 3 DESC, 1, 2")
                     .arg(CursorName, pairs));
            qint64 rowsJudged = 0;
            while (true) {
                QSqlQuery rows = read(QStringLiteral("FETCH FORWARD 1000 FROM %1").arg(CursorName));
                int fetched = 0;
                while (rows.next()) {
                    ++fetched;
                    const qsizetype k = rows.value(0).toInt();
                    const QString old = rows.value(1).toString();
                    const qint64 n = rows.value(2).toLongLong();
                    rowsJudged += n;
                    const QString now = converted(k, old);
                    if (now == old)
                        continue;
                    file.write({fields_[k].counts.name, old, now, QString::number(n)});
                    ++result_.exported;
                }
                progress_.rows(rowsJudged, 0, false);
                progress_(50);
                if (fetched < 1000)
                    break;
            }
            session_.execute(QStringLiteral("CLOSE %1").arg(CursorName));
        }
        file.commit();
    }

    // One distinct value of field k, found in n rows.
    void judge(int k, const QString &old, qint64 n)
    {
        Field &field = fields_[k];
        QString converted = this->converted(k, old);
        if (converted == old) {
            // A value the options leave as written is counted, and listed as it stays.
            const LeftAs left =
                field.kind.array ? LeftAs::Converted : LeftAsWritten(mode_, old, &words_);
            if (left == LeftAs::Converted)
                return;
            (left == LeftAs::MixedCase ? field.counts.valuesLeftMixed : field.counts.valuesKept) +=
                n;
            top_.offer({field.counts.name, Cut(old), Cut(old), n, left}, k);
            return;
        }
        ++field.counts.valuesChanging;
        field.counts.rowsChanging += n;
        if (converted.size() > old.size())
            ++field.counts.valuesGrowing;
        top_.offer({field.counts.name, Cut(old), Cut(std::move(converted)), n}, k);
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
    const QString conditionText_;
    RowCondition condition_;
    const std::atomic<bool> &stop_;
    ProgressReport progress_; // never goes back within a preview
    PreviewResult &result_;
    QList<Field> fields_;
    QList<StoredRelation> relations_; // with their sizes when the preview began
    std::optional<PreviewSql> sql_;   // once the fields and the tables to read are known
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

qint64 PreviewResult::valuesGrowing() const
{
    qint64 total = 0;
    for (const FieldCounts &field : counted)
        total += field.valuesGrowing;
    return total;
}

QString GrowingText(qint64 values)
{
    if (values == 0)
        return QString();
    return QStringLiteral("%1 would grow longer by the language's rules (\"SS\" for \"ß\", a dot "
                          "or a dialytika added); a value that no longer fits its field keeps its "
                          "old case.")
        .arg(values == 1 ? QStringLiteral("1 value") : QStringLiteral("%L1 values").arg(values));
}

ChangePreview::ChangePreview(const ConnectionSettings &settings, const CaseChange &change,
                             const QString &exportFile, QObject *parent)
    : Job(settings, parent), change_(change), exportFile_(exportFile)
{
    qRegisterMetaType<PreviewResult>();
}

void ChangePreview::run()
{
    PreviewResult result;
    result.table = change_.table;
    result.fields = change_.fields;
    result.condition = change_.condition;
    result.language = change_.language;
    result.mode = change_.mode;
    result.nameRules = change_.nameRules && change_.mode && CaseModeOf(*change_.mode).nameRules;
    result.exportFile = exportFile_;
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
        const std::shared_ptr<const WordExceptions> words = change_.options();
        Previewer(
            session, change_.table, *change_.mode, *words, change_.condition, stopFlag(),
            [this](int percent) { emit progress(percent); },
            [this](qint64 done, qint64 total, bool estimated) {
                emit rowsDone(done, total, estimated);
            },
            result)
            .run();
    } catch (const PreviewFailure &failure) {
        result.error = failure.text;
    } catch (const CsvFileError &failure) {
        result.error = failure.text();
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
