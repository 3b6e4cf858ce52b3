// How an undo works. The journal's chunks are taken newest first (a row that a run wrote once per
// field goes back through its fields in the reverse order). For each chunk one UPDATE joins the
// chunk's rows, sent as three joined texts that the server splits, to the rows of the physical
// relation the run wrote, finds each row by its identity through the table's key (or its
// position), and writes the old value only where the row still holds the value the run wrote.
// When a statement fails for a value (a constraint or trigger refuses the old value now), the
// chunk is halved until the refused rows stand alone; they are left alone and the rest is
// written. Other failures end the undo; what it restored stays restored.
#include "journal/undorun.h"

#include "db/cancelgroup.h"
#include <thread>

#include "db/databaseidentity.h"
#include "db/dbsession.h"
#include "db/expectedfailure.h"
#include "db/progressreport.h"
#include "db/sessionworker.h"
#include "db/sqlquote.h"
#include "db/tableplan.h"
#include "db/writersetup.h"
#include "journal/journalreader.h"

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

// Rows of a chunk, as three lists.
struct Rows {
    QList<QString> identities, olds, news;
};

void restoreHalves(DbSession &session, const QString &sql, const QString &d, const Rows &rows,
                   qsizetype from, qsizetype to, const DbError &failure, Outcome &outcome);

// Adds what it restores to the outcome as each statement commits, so that a failure part-way
// through a chunk still counts the rows restored before it.
void restoreRange(DbSession &session, const QString &sql, const QString &d, const Rows &rows,
                  qsizetype from, qsizetype to, Outcome &outcome)
{
    if (from >= to)
        return;
    auto joined = [&](const QList<QString> &list) { return list.mid(from, to - from).join(d); };
    try {
        outcome.restored += session.execute(
            sql, {joined(rows.identities), d, joined(rows.news), d, joined(rows.olds), d});
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
    const ExpectedFailure refusals(ConcernsOneValue);
    const QString &d = chunk.delimiter;
    try {
        outcome.restored =
            session.execute(sql, {chunk.identities, d, chunk.news, d, chunk.olds, d});
    } catch (const DbError &error) {
        if (!ConcernsOneValue(error))
            throw;
        const Rows rows{chunk.identities.split(d), chunk.olds.split(d), chunk.news.split(d)};
        restoreHalves(session, sql, d, rows, 0, rows.identities.size(), error, outcome);
    }
}

class Undoer
{
public:
    Undoer(const ConnectionSettings &settings, DbSession &session, const JournalRun &run,
           JournalReader &reader, const std::atomic<bool> &stop, CancelGroup &cancel,
           const std::function<void(int)> &progress, UndoSummary &summary)
        : session_(session), run_(run), reader_(reader), stop_(stop), progress_(progress, 0),
          summary_(summary),
          writers_{{settings, {UndoTimeout, UndoTimeout, false, true}, WriterSetup(), &cancel},
                   {settings, {UndoTimeout, UndoTimeout, false, true}, WriterSetup(), &cancel}}
    {
    }

    // Two writers take turns, so that the server writes two chunks side by side. Chunks of one
    // field hold different rows; before the chunks of another field, both writers finish, so
    // that a row's fields go back in the reverse order of the run's.
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
        QString field;
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
            if (chunk->field != field) {
                collect(0);
                collect(1);
                field = chunk->field;
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

    void taken(const JournalChunk &chunk, const Outcome &outcome)
    {
        summary_.rowsRestored += outcome.restored;
        summary_.rowsLeftAlone += chunk.rows - outcome.restored;
        if (outcome.refusal && summary_.firstError.isEmpty())
            summary_.firstError = outcome.refusal->text();
        reader_.markUndone(chunk.seq, outcome.restored);
        done_ += chunk.rows;
        const int percent = total_ > 0 ? int(qMin<qint64>(done_ * 100 / total_, 99)) : 0;
        progress_(percent);
    }

    // The UPDATE for a chunk's relation and field; empty when they no longer exist. The field's
    // kind is the one a run takes.
    const QString &statementFor(const JournalChunk &chunk)
    {
        const QString key = chunk.relationSql + QChar(0) + chunk.field;
        auto found = statements_.constFind(key);
        if (found != statements_.cend())
            return *found;
        const std::optional<TablePlan> relation = TablePlan::Of(session_, chunk.relationSql);
        std::optional<FieldKind> kind;
        if (relation)
            kind = relation->field(chunk.field);
        QString sql;
        if (kind) {
            const QString field = QStringLiteral("t.") + QuoteIdentifier(chunk.field);
            // Values that are not text are compared in their text form, as the run wrote them.
            // A missing old value (a lone empty text, which the server splits into no element)
            // matches nothing.
            // A run writes a partitioned table as a whole when the field is in its partition
            // key, so that rows move to the partition of their value; so does the undo.
            const QString only = relation->partitioned() ? QString() : QStringLiteral("ONLY ");
            sql = QStringLiteral("UPDATE %6%1 AS t SET %2 = CAST(v.o AS %3)"
                                 " FROM unnest(string_to_array(?, ?), string_to_array(?, ?),"
                                 " string_to_array(?, ?)) AS v(id, n, o)"
                                 " WHERE %4 AND %5 = v.n COLLATE \"C\" AND v.o IS NOT NULL")
                      .arg(chunk.relationSql, QuoteIdentifier(chunk.field), kind->typeSql,
                           run_.identity.matchSql(QStringLiteral("t"), QStringLiteral("v.id")),
                           kind->plainText ? field : TextFormOf(field), only);
        }
        return *statements_.insert(key, sql);
    }

    DbSession &session_;
    const JournalRun &run_;
    JournalReader &reader_;
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
        for (const QString &statement : WriterSetup())
            session.execute(statement);
        const std::function<void(int)> report = [this](int percent) { emit progress(percent); };
        Undoer(settings(), session, run_, reader, stopFlag(), cancelGroup(), report, summary).run();
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
