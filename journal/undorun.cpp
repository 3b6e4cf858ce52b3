// How an undo works. The journal's chunks are taken newest first (a row that a run from before one
// pass wrote all its fields wrote once per field goes back through its fields in the reverse
// order). For each chunk one UPDATE joins the chunk's rows, sent as joined texts that the server
// splits, to the rows of the physical relation the run wrote, finds each row by its identity
// through the table's key (or its position), and writes each field's old value only where the
// row still holds the value the run wrote: all the fields of a row in one go, so that a row known
// by its position is found for every one of them.
// When a statement fails for a value (a constraint or trigger refuses the old value now), the
// chunk is halved until the refused rows stand alone; they are left alone and the rest is
// written. Other failures end the undo; what it restored stays restored.
#include "journal/undorun.h"

#include "db/cancelgroup.h"
#include <thread>

#include "db/databaseidentity.h"
#include "db/dbsession.h"
#include "db/sessionworker.h"
#include "db/sqlquote.h"
#include "db/tableplan.h"
#include "db/writersetup.h"
#include "jobs/progressreport.h"
#include "journal/journalreader.h"
#include "journal/undotexts.h"

#include <QHash>
#include <QVariant>

namespace {

// Seconds, as the undo's session asks for both its login and its statements.
constexpr int UndoTimeout = 5000;

// What the statements for one chunk did.
struct Outcome {
    qint64 restored = 0;
    std::optional<DbError> refusal; // the first that the server gave for a row
};

// Rows of a chunk as lists: their identities, and each field's new and old values.
struct Rows {
    QList<QList<QString>> lists;

    explicit Rows(const JournalChunk &chunk)
    {
        const QString &d = chunk.delimiter;
        lists << chunk.identities.split(d);
        for (const JournalChunk::Field &field : chunk.fields)
            lists << field.news.split(d) << field.olds.split(d);
    }
    qsizetype size() const { return lists.first().size(); }
};

// The statement's parameters: each list joined, with its delimiter.
QVariantList parameters(const JournalChunk &chunk)
{
    const QString &d = chunk.delimiter;
    QVariantList params{chunk.identities, d};
    for (const JournalChunk::Field &field : chunk.fields)
        params << field.news << d << field.olds << d;
    return params;
}

void restoreHalves(DbSession &session, const QString &sql, const QString &d, const Rows &rows,
                   qsizetype from, qsizetype to, const DbError &failure, Outcome &outcome);

// Adds what it restores to the outcome as each statement commits, so that a failure part-way
// through a chunk still counts the rows restored before it.
void restoreRange(DbSession &session, const QString &sql, const QString &d, const Rows &rows,
                  qsizetype from, qsizetype to, Outcome &outcome)
{
    if (from >= to)
        return;
    QVariantList params;
    for (const QList<QString> &list : rows.lists)
        params << list.mid(from, to - from).join(d) << d;
    try {
        outcome.restored += session.execute(sql, params);
    } catch (const DbError &error) {
        if (!ConcernsOneValue(error))
            throw;
        restoreHalves(session, sql, d, rows, from, to, error, outcome);
    }
}

// Rows [from, to), which the server refused as one statement with that failure: a lone row is
// the refused one, more are restored half by half.
void restoreHalves(DbSession &session, const QString &sql, const QString &d, const Rows &rows,
                   qsizetype from, qsizetype to, const DbError &failure, Outcome &outcome)
{
    if (to - from == 1) {
        if (!outcome.refusal)
            outcome.refusal = failure;
        return;
    }
    const qsizetype middle = from + (to - from) / 2;
    restoreRange(session, sql, d, rows, from, middle, outcome);
    restoreRange(session, sql, d, rows, middle, to, outcome);
}

// Writes a chunk's old values back; rows the server refuses are found by halving and left
// alone.
void restore(DbSession &session, const QString &sql, const JournalChunk &chunk, Outcome &outcome)
{
    try {
        outcome.restored = session.execute(sql, parameters(chunk));
    } catch (const DbError &error) {
        if (!ConcernsOneValue(error))
            throw;
        const Rows rows(chunk);
        restoreHalves(session, sql, chunk.delimiter, rows, 0, rows.size(), error, outcome);
    }
}

class Undoer
{
public:
    Undoer(const ConnectionSettings &settings, DbSession &session, const JournalRun &run,
           JournalReader &reader, const std::atomic<bool> &stop, CancelGroup &cancel,
           const std::function<void(int)> &progress, const ProgressReport::RowsReport &rows,
           UndoSummary &summary)
        : session_(session), run_(run), reader_(reader), stop_(stop), progress_(progress, 0, rows),
          summary_(summary),
          writers_{{settings, {UndoTimeout, UndoTimeout, false, true}, WriterSetup(), &cancel},
                   {settings, {UndoTimeout, UndoTimeout, false, true}, WriterSetup(), &cancel}}
    {
    }

    // Two writers take turns, so that the server writes two chunks side by side. Chunks of one
    // pass hold different rows; before the chunks of another pass (a run from before one pass
    // wrote all its fields made one per field), both writers finish, so that a row's fields go
    // back in the reverse order of the run's.
    void run()
    {
        total_ = reader_.rowsLeft();
        try {
            walk();
        } catch (...) {
            // What the other writer restored is committed: it counts, and its chunk is marked,
            // before the failure ends the undo.
            for (int w : {0, 1}) {
                try {
                    collect(w);
                } catch (const DbError &) {
                }
            }
            throw;
        }
        progress_(100, true);
    }

private:
    void walk()
    {
        int w = 0;
        QString fields;
        while (true) {
            if (stop_.load(std::memory_order_relaxed)) {
                summary_.endedEarly = true;
                collect(0);
                collect(1);
                return;
            }
            std::optional<JournalChunk> chunk = reader_.next();
            if (!chunk)
                break;
            if (chunk->fieldNames() != fields) {
                collect(0);
                collect(1);
                fields = chunk->fieldNames();
            }
            const QString &sql = statementFor(*chunk);
            if (sql.isEmpty()) {
                // The relation or the field is gone: none of its rows can be found.
                taken(*chunk, Outcome{});
                continue;
            }
            w = 1 - w;
            collect(w);
            Slot &slot = slots_[w];
            reader_.markUndoing(chunk->seq);
            slot.chunk = std::move(*chunk);
            slot.outcome = Outcome{};
            slot.pending = true;
            writers_[w].submit([&slot, sql](DbSession &session) {
                restore(session, sql, *slot.chunk, slot.outcome);
            });
        }
        collect(0);
        collect(1);
    }

    struct Slot {
        std::optional<JournalChunk> chunk;
        Outcome outcome;
        bool pending = false;
    };

    // Takes in the result of a writer's chunk, if it has one.
    void collect(int w)
    {
        Slot &slot = slots_[w];
        if (!slot.pending)
            return;
        try {
            writers_[w].wait();
        } catch (...) {
            // The chunk is not undone, but the statements of it that committed count.
            slot.pending = false;
            summary_.rowsRestored += slot.outcome.restored;
            throw;
        }
        slot.pending = false;
        taken(*slot.chunk, slot.outcome);
    }

    // A chunk is one statement of the run and one of an undo, each committed whole or not at
    // all: a chunk of which nothing is restored was never written, when the run never saw its
    // commit return, or was restored by an undo that was cut off as it restored it.
    void taken(const JournalChunk &chunk, const Outcome &outcome)
    {
        qint64 restoredEarlier = 0;
        if (outcome.restored == 0 && !outcome.refusal && chunk.pending)
            summary_.rowsNeverWritten += chunk.rows;
        else if (outcome.restored == 0 && !outcome.refusal && chunk.undoing)
            restoredEarlier = chunk.rows;
        else
            summary_.rowsLeftAlone += chunk.rows - outcome.restored;
        summary_.rowsRestored += outcome.restored;
        summary_.rowsRestoredEarlier += restoredEarlier;
        if (outcome.refusal && summary_.firstError.isEmpty())
            summary_.firstError = outcome.refusal->text();
        reader_.markUndone(chunk.seq, outcome.restored + restoredEarlier);
        done_ += chunk.rows;
        const int percent = total_ > 0 ? int(qMin<qint64>(done_ * 100 / total_, 99)) : 0;
        progress_.rows(done_, total_, false);
        progress_(percent);
    }

    // The UPDATE for a chunk's relation and fields; empty when the relation no longer exists or
    // has none of them. The fields' kinds are the ones a run takes. Each field of a row gets its
    // old value back only where it still holds the value the run wrote; values that are not
    // text are compared in their text form, as the run wrote them. A field the chunk did not
    // write in a row has an empty new value there, and a missing old value (a lone empty text,
    // which the server splits into no element) matches nothing.
    const QString &statementFor(const JournalChunk &chunk)
    {
        const QString key = chunk.relationSql + QChar(0) + chunk.fieldNames();
        auto found = statements_.constFind(key);
        if (found != statements_.cend())
            return *found;
        const std::optional<TablePlan> relation = TablePlan::Of(session_, chunk.relationSql);
        const RowIdentity identity = identityOf(chunk.relationSql);
        const bool byKey = keyed_->contains(chunk.relationSql) && identity.key.size() == 1;
        // By key, the wrapper would not send a comparison in the "C" collation; the default
        // collation is deterministic, so that texts are equal in it only when they are equal
        // byte for byte.
        const QString item =
            byKey ? QStringLiteral("((SELECT s.%1 FROM s) ->> %2)") : QStringLiteral("v.%1");
        const QString collate = byKey ? QString() : QStringLiteral(" COLLATE \"C\"");
        const QString place = byKey
                                  ? QStringLiteral("(width_bucket(t.%1, (SELECT s.id FROM s)) - 1)")
                                        .arg(QuoteIdentifier(identity.key.first().name))
                                  : QString();
        QStringList columns{QStringLiteral("id")}, sets, holds;
        for (qsizetype k = 0; k < chunk.fields.size(); ++k) {
            const QString n = QStringLiteral("n%1").arg(k), o = QStringLiteral("o%1").arg(k);
            columns << n << o;
            const QString &name = chunk.fields[k].name;
            const std::optional<FieldKind> kind =
                relation ? relation->field(name) : std::optional<FieldKind>();
            if (!kind)
                continue;
            const QString value = QStringLiteral("t.") + QuoteIdentifier(name);
            const QString newValue = byKey ? item.arg(n, place) : item.arg(n);
            const QString oldValue = byKey ? item.arg(o, place) : item.arg(o);
            // By key, the new value's element is tested in jsonb, which has no collation, and a
            // missing one is NULL, which fails the test as an empty text does.
            const QString written =
                byKey
                    ? QStringLiteral("((SELECT s.%1 FROM s) -> %2) <> '\"\"'::jsonb").arg(n, place)
                    : QStringLiteral("coalesce(%1, '') <> ''").arg(newValue);
            const QString held =
                QStringLiteral("(%1 AND %2 IS NOT NULL AND %3 = %4%5)")
                    .arg(written, oldValue, kind->plainText ? value : TextFormOf(value), newValue,
                         collate);
            sets << QStringLiteral("%1 = CASE WHEN %2 THEN CAST(%3 AS %4) ELSE %5 END")
                        .arg(QuoteIdentifier(name), held, oldValue, kind->typeSql, value);
            holds << held;
        }
        QString sql;
        if (!sets.isEmpty() && byKey) {
            sql = keyStatement(chunk.relationSql, identity.key.first(), columns, sets, holds);
        } else if (!sets.isEmpty()) {
            QStringList arrays;
            for (qsizetype n = 0; n < columns.size(); ++n)
                arrays << QStringLiteral("string_to_array(?, ?)");
            // A run writes a partitioned table as a whole when a field is in its partition key,
            // so that rows move to the partition of their value; so does the undo.
            const QString only = relation->partitioned() ? QString() : QStringLiteral("ONLY ");
            sql = QStringLiteral("UPDATE %1%2 AS t SET %3 FROM unnest(%4) AS v(%5)"
                                 " WHERE %6 AND (%7)")
                      .arg(only, chunk.relationSql, sets.join(QStringLiteral(", ")),
                           arrays.join(QStringLiteral(", ")), columns.join(QStringLiteral(", ")),
                           identityOf(chunk.relationSql)
                               .matchSql(QStringLiteral("t"), QStringLiteral("v.id")),
                           holds.join(QStringLiteral(" OR ")));
        }
        return *statements_.insert(key, sql);
    }

    // A foreign table's rows are picked by a range of the key and each finds its values by its
    // key's place among the chunk's keys, sorted here: the wrapper sends the whole UPDATE to the
    // remote server, which a join to the chunk's rows would make it fetch and write row by row.
    // Rows of a chunk that share a key (a partition key need not be unique) were written by one
    // item of the run, with the same values: whichever of them a row finds restores it.
    static QString keyStatement(const QString &relationSql, const RowIdentity::Column &key,
                                const QStringList &columns, const QStringList &sets,
                                const QStringList &holds)
    {
        QStringList arrays, lists;
        for (const QString &column : columns) {
            arrays << (column == QLatin1String("id")
                           ? QStringLiteral("CAST(string_to_array(?, ?) AS %1[])").arg(key.typeSql)
                           : QStringLiteral("string_to_array(?, ?)"));
            lists << (column == QLatin1String("id")
                          ? QStringLiteral("array_agg(u.id ORDER BY u.id) AS id")
                          : QStringLiteral("to_jsonb(array_agg(u.%1 ORDER BY u.id)) AS %1")
                                .arg(column));
        }
        const QString k = QuoteIdentifier(key.name);
        return QStringLiteral("WITH s AS MATERIALIZED (SELECT %1 FROM unnest(%2) AS u(%3))"
                              " UPDATE ONLY %4 AS t SET %5 WHERE t.%6 >= (SELECT s.id[1] FROM s)"
                              " AND t.%6 <= (SELECT s.id[cardinality(s.id)] FROM s) AND (%7)")
            .arg(lists.join(QStringLiteral(", ")), arrays.join(QStringLiteral(", ")),
                 columns.join(QStringLiteral(", ")), relationSql, sets.join(QStringLiteral(", ")),
                 k, holds.join(QStringLiteral(" OR ")));
    }

    // How the rows of the relation are known: a foreign table of the run's table, which has no
    // places here, by the key the run walked it by; every other one as the journal says.
    RowIdentity identityOf(const QString &relationSql)
    {
        if (!keyed_) {
            keyed_.emplace();
            if (const std::optional<TablePlan> table = TablePlan::Of(session_, run_.table.sql())) {
                for (const KeyedRelation &relation : table->keyedRelations(session_))
                    keyed_->insert(relation.sql, RowIdentity{relation.key});
            }
        }
        const auto keyed = keyed_->constFind(relationSql);
        return keyed == keyed_->cend() ? run_.identity : *keyed;
    }

    DbSession &session_;
    const JournalRun &run_;
    JournalReader &reader_;
    std::optional<QHash<QString, RowIdentity>> keyed_;
    const std::atomic<bool> &stop_;
    ProgressReport progress_;
    UndoSummary &summary_;
    QHash<QString, QString> statements_;
    qint64 total_ = 0, done_ = 0;
    Slot slots_[2];
    SessionWorker writers_[2];
};

} // namespace

UndoRun::UndoRun(const ConnectionSettings &settings, const JournalRun &run, QObject *parent)
    : Job(settings, parent), run_(run)
{
    qRegisterMetaType<UndoSummary>();
}

void UndoRun::run()
{
    UndoSummary summary;
    // The run's lock, for as long as the undo works: not while the run goes on, nor beside
    // another undo of it.
    std::optional<RunLock> lock = RunLock::Take(run_.file, RunLock::Work::Undo);
    if (!lock) {
        summary.endedEarly = true;
        const std::optional<RunLock::Holder> holder = RunLock::HolderOf(run_.file);
        summary.firstError = holder
                                 ? RunBusyText(run_.id, *holder)
                                 : QStringLiteral("The journal of run %1 cannot be locked: %2")
                                       .arg(QString::number(run_.id), RunLock::FileOf(run_.file));
        emit finished(summary);
        return;
    }
    try {
        JournalReader reader(run_);
        summary.rowsRestoredEarlier = reader.rowsRestoredEarlier();
        DbSession session(settings(), DbSession::Options{UndoTimeout, UndoTimeout, false, true});
        const CancelMembership membership(cancelGroup(), session);
        // The run was offered for this database; the check is made again where the writing
        // starts, so that no way into an undo can write into another database of the name.
        if (run_.databaseIdentity.known() && DatabaseIdentity::Of(session) != run_.databaseIdentity)
            throw DbError(QStringLiteral(
                "This database is not the one the change run changed: it was dropped and made "
                "again, or it is another server's. Nothing was undone."));
        if (const std::optional<TablePlan> table = TablePlan::Of(session, run_.table.sql()))
            summary.untrustedOwners = table->untrustedOwners(session);
        if (!summary.untrustedOwners.isEmpty())
            emit cautioned(summary.untrustedOwners);
        for (const QString &statement : WriterSetup())
            session.execute(statement);
        const std::function<void(int)> report = [this](int percent) { emit progress(percent); };
        WithDurableCommits(session, [&] {
            Undoer(
                settings(), session, run_, reader, stopFlag(), cancelGroup(), report,
                [this](qint64 done, qint64 total, bool estimated) {
                    emit rowsDone(done, total, estimated);
                },
                summary)
                .run();
        });
    } catch (const DbError &error) {
        summary.endedEarly = true;
        // The failure that ended the undo is the one the user must see first; a statement
        // cancelled by the stop is the stop itself.
        if (!stopRequested())
            summary.firstError = error.text();
    } catch (const JournalError &error) {
        summary.endedEarly = true;
        summary.firstError = error.text();
    }
    if (!summary.endedEarly) {
        try {
            ChangeJournal::MarkUndone(run_);
        } catch (const JournalError &error) {
            if (summary.firstError.isEmpty())
                summary.firstError = error.text();
        }
    }
    emit finished(summary);
}
