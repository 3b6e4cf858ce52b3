// How a run works. The table (with its inheritance children or partitions) is walked by
// ranges of its physical blocks, a chunk at a time, in one pass for all the chosen fields:
//   1. the server sends the places (ctid) of the chunk's rows in the block range and the
//      values of every field in their text form, leaving out ASCII values that the rule
//      certainly leaves as they are, and rows where it leaves every field so; every chunk is
//      read in the snapshot taken at the pass's start;
//   2. the values are converted, each distinct value of a field once; the rows in which at
//      least one field changes are kept, each with its place and its old and new values;
//   3. one UPDATE joins those rows to the table by their places, checks that each field still
//      holds the value read, and sets in each row only the fields whose value changes; it
//      commits on its own, changes all the rows it matches or none, and says which rows it
//      wrote and which fields of each.
// A run of one field sends its distinct changed values instead, with the rows read with each,
// and its UPDATE joins them to the rows of the chunk's range by value: cheaper than one item a
// row where values repeat, and as cheap where they do not.
// A row is written once, whatever the number of fields, so the table grows by one version of
// each changed row, as with the server's own UPDATE of all the fields. The block range only
// limits which rows one statement looks at, so every statement reads a small part of the table
// and the run stays linear in its size. A row that another client changed after it was read is
// at another place and is not found there, so its fields are never overwritten; at the end of
// the pass a write to the whole table converts the rows that still hold a missed row's old
// values, wherever they went (run/missedrows.h).
// Two readers fetch and prepare the next chunks while two writers write the current ones, each
// on a session of its own, so that the server's work and ours overlap.
// A statement refused for a row (a constraint, a trigger, a domain) is sent again row by row
// inside the server, which writes the rows it can and names the refused ones; a refused row
// keeps its old values in every field. A deadlock is retried. Failures that concern the whole
// run end it; what was written before stays written.
// A table of the tree without block ranges here, a foreign table whose rows live on another
// server, is walked by its key once the blocks are done (run/keypass.h): read in ranges of the
// key through this server, and written by one UPDATE per range that finds each row by its key,
// which the foreign-data wrapper sends to the remote server whole.
// Only fields that hold text are changed: the text form of json, xml, an enum or any other
// type is not the user's text, and rewriting it would damage the value.
#include "run/changerun.h"

#include "casing/wordexceptions.h"
#include "db/cancelgroup.h"
#include "db/chunksizing.h"
#include "db/dbsession.h"
#include "db/sqlquote.h"
#include "db/tableplan.h"
#include "db/writersetup.h"
#include "jobs/progressreport.h"
#include "journal/changejournal.h"
#include "run/chunkreader.h"
#include "run/chunkwalk.h"
#include "run/chunkwriter.h"
#include "run/journalrecorder.h"
#include "run/keypass.h"
#include "run/missedrows.h"
#include "run/passstatements.h"
#include "run/runfailure.h"
#include "run/runsource.h"
#include "run/runtally.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QVariant>
#include <QtGlobal>
#include <deque>
#include <thread>

namespace {

// Seconds, as the run's session asks for both its login and its statements.
constexpr int RunTimeout = 5000;

constexpr qint64 ProgressIntervalMs = 50;
constexpr qint64 KeyRowsPerBlock = 50; // for the progress: rows of a walk by key as one block

// A table of the tree with its size when the pass started.
using Relation = StoredRelation;

class Runner
{
public:
    Runner(const ConnectionSettings &settings, DbSession &session, const TableRef &table,
           const QStringList &fields, CaseMode mode, const QString &condition,
           std::shared_ptr<const WordExceptions> words, CancelGroup &cancel,
           const std::function<void()> &chunkReadHook, const std::function<void()> &recordedHook,
           const std::function<void(int)> &progress, const ProgressReport::RowsReport &rows,
           const std::function<void(const QStringList &)> &caution, ChangeRunSummary &summary,
           std::optional<JournalRun> &journal, RunLock &journalLock)
        : settings_(settings), session_(session), table_(table), mode_(mode),
          words_(std::move(words)), cancel_(cancel), chunkReadHook_(chunkReadHook),
          recordedHook_(recordedHook), progress_(progress, ProgressIntervalMs, rows),
          caution_(caution), summary_(summary), journal_(journal), journalLock_(journalLock),
          source_(session, table, condition, cancel), tally_(summary)
    {
        // A field named twice is written once.
        QStringList unique = fields;
        unique.removeDuplicates();
        for (const QString &name : std::as_const(unique))
            fields_.push_back(PassField{name, QuoteIdentifier(name), {}, false, false, false});
    }

    void run()
    {
        const QList<QString> relationOids = source_.plan(fields_, summary_.leftAlone);
        summary_.untrustedOwners = source_.untrustedOwners();
        if (!fields_.isEmpty() && !summary_.untrustedOwners.isEmpty())
            caution_(summary_.untrustedOwners);
        if (fields_.isEmpty()) {
            progress_(100, true);
            return;
        }
        countKeyedRows();
        beginJournal();
        statements_.emplace(table_, mode_, *words_, source_.utf8(), &journal_->identity,
                            source_.condition().sql());
        // Two readers take turns, so that while one chunk is written the next two are being
        // read and prepared.
        ChunkReader readers[2] = {{settings_, RunTimeout, mode_, words_, cancel_},
                                  {settings_, RunTimeout, mode_, words_, cancel_}};
        const JournalRun journal = *journal_;
        const RowRecorderFactory recorder = [journal, hook = recordedHook_] {
            return std::make_unique<JournalRecorder>(journal, hook);
        };
        ChunkWriter writers[2] = {{settings_, RunTimeout, WriterSetup(), cancel_, recorder},
                                  {settings_, RunTimeout, WriterSetup(), cancel_, recorder}};
        // One pass for all the fields: each row is written once, with every field it changes.
        runPass(relationOids, readers, writers);
        // The tables without block ranges here, each walked by its key once the blocks are done,
        // in reads of their own: a remote server that fails ends its own table only.
        KeyPass keyPass(
            session_, *statements_, fields_, cancel_,
            {[this](PreparedChunk prepared) { return rowsToWrite(std::move(prepared)); },
             [this](const WriteResult &result) { takeResult(result); },
             [this](qint64 rows) {
                 keyRowsDone_ += rows;
                 reportDone(keyRowsDone_ / KeyRowsPerBlock - keyBlocksDone_, rows);
                 keyBlocksDone_ = keyRowsDone_ / KeyRowsPerBlock;
             }});
        for (qsizetype r = 0; r < source_.keyedRelations().size(); ++r) {
            if (std::optional<RelationLeft> left =
                    keyPass.walk(source_.keyedRelations()[r], keyedRows_[r], keyedFailures_[r],
                                 readers[0], writers))
                summary_.relationsLeft.push_back(*left);
        }
        progress_.rows(summary_.rowsRead, summary_.rowsRead, false);
        progress_(100, true);
    }

private:
    // What a pass keeps while it walks the tree: the chunks requested and not yet written, in
    // order, each with the reader it went to, and the chunk each writer has in hand. Two readers
    // take turns, and two writers as well; a writer's result is taken in when the writer is
    // needed again, or at the end of the pass.
    struct Pass {
        Pass(QString snapshot, const QList<Relation> &relations, ChunkReader (&readers)[2],
             ChunkWriter (&writers)[2])
            : snapshot(std::move(snapshot)), walk(relations), readers(readers), writers(writers),
              totalBlocks(walk.totalBlocks())
        {
        }

        QString snapshot;
        ChunkWalk walk;
        ChunkReader (&readers)[2];
        ChunkWriter (&writers)[2];
        qint64 totalBlocks;
        qint64 chunkBlocks = ChunkSizing::FirstBlocks;
        std::deque<std::pair<PassChunk, int>> pending;
        std::optional<PassChunk> writing[2];
        qsizetype dispatched = 0;
    };

    void runPass(const QList<QString> &relationOids, ChunkReader (&readers)[2],
                 ChunkWriter (&writers)[2])
    {
        const QString snapshot = source_.beginSnapshot();
        const QList<Relation> relations = source_.measure(relationOids);
        Pass pass(snapshot, relations, readers, writers);
        progressTotal_ = pass.totalBlocks;
        for (const qint64 rows : std::as_const(keyedRows_))
            progressTotal_ += qMax<qint64>(0, rows) / KeyRowsPerBlock;
        requestNext(pass, 0);
        requestNext(pass, 1);
        try {
            while (!pass.pending.empty())
                writeNextChunk(pass);
            collect(pass, 0);
            collect(pass, 1);
        } catch (const RunStopped &) {
            countWrittenBeforeTheEnd(writers, pass.writing);
            throw;
        } catch (const RunFailure &) {
            // The other writer's statement may have committed before the failure ended the run.
            countWrittenBeforeTheEnd(writers, pass.writing);
            throw;
        }
        source_.endSnapshot();
        MissedRows(*statements_, fields_, cancel_).write(tally_, relations, writers[0]);
    }

    void request(Pass &pass, const PassChunk &chunk, int reader, bool front)
    {
        QList<bool> arrays;
        for (const PassField &field : std::as_const(fields_))
            arrays << field.array;
        pass.readers[reader].request(
            {statements_->readSql(fields_, chunk), pass.snapshot, std::move(arrays)});
        if (front)
            pass.pending.push_front({chunk, reader});
        else
            pass.pending.push_back({chunk, reader});
    }

    void requestNext(Pass &pass, int reader)
    {
        if (const std::optional<PassChunk> chunk = pass.walk.next(pass.chunkBlocks))
            request(pass, *chunk, reader, false);
    }

    // Takes in a writer's result, if it has a chunk in hand.
    void collect(Pass &pass, int w)
    {
        if (!pass.writing[w])
            return;
        const WriteResult result = pass.writers[w].wait();
        const PassChunk chunk = *pass.writing[w];
        pass.writing[w].reset();
        // A statement cancelled by the stop wrote nothing.
        if (result.failure && cancel_.cancelled())
            throw RunStopped();
        takeResult(result);
        reportDone(chunk.blocks, chunk.rowsRead);
    }

    // Progress in blocks, a walk by key counting KeyRowsPerBlock rows as a block; and in the rows
    // of the blocks done.
    void reportDone(qint64 blocks, qint64 rows)
    {
        progressDone_ += blocks;
        rowsDone_ += rows;
        const double done = progressTotal_ ? double(progressDone_) / progressTotal_ : 1.0;
        const int percent = int(done * 100);
        // The rows in all, reckoned from the rows of the blocks done so far: with a row
        // condition, the rows it picks.
        if (done > 0)
            progress_.rows(rowsDone_, qMax(rowsDone_, qint64(rowsDone_ / done)), true);
        if (percent < 100)
            progress_(percent);
    }

    // Takes the next chunk from its reader, asks for the one after it, and hands the chunk's
    // pairs to a writer.
    void writeNextChunk(Pass &pass)
    {
        QElapsedTimer chunkClock;
        chunkClock.start();
        auto [current, reader] = pass.pending.front();
        pass.pending.pop_front();
        PreparedChunk prepared;
        try {
            prepared = pass.readers[reader].take();
        } catch (const DbError &error) {
            throwUnlessStopped(error, ChangeRunStep::Source);
        }
        const qint64 blocksRead = qMax<qint64>(1, current.endBlock - current.firstBlock);
        if (prepared.cut) {
            // The range's values went past the chunk's budget: the rest of the range comes
            // next, from the same reader.
            const PassChunk rest{current.relation, prepared.lastBlock, prepared.lastOffset + 1,
                                 current.endBlock, current.blocks,     current.endOffset};
            current.endBlock = prepared.lastBlock;
            current.endOffset = prepared.lastOffset + 1;
            current.blocks = 0;
            request(pass, rest, reader, true);
        } else {
            requestNext(pass, reader);
        }
        if (cancel_.cancelled())
            throw RunStopped();
        const qint64 bytesRead = prepared.bytesRead;
        const qint64 rangeBytes = prepared.rangeBytes;
        current.rowsRead = prepared.rowsRead;
        if (std::optional<WriteJob> job = prepareJob(current, std::move(prepared))) {
            const int w = int(pass.dispatched++ % 2);
            collect(pass, w);
            pass.writers[w].submit(std::move(*job));
            pass.writing[w] = current;
        } else {
            reportDone(current.blocks, current.rowsRead);
        }
        pass.chunkBlocks =
            ChunkSizing::NextBlocks(blocksRead, chunkClock.elapsed(), bytesRead, rangeBytes);
    }

    // The rows written by the statements still in flight when the run ended early, which
    // committed nonetheless, are counted with the rest.
    void countWrittenBeforeTheEnd(ChunkWriter (&writers)[2], std::optional<PassChunk> (&writing)[2])
    {
        for (int w : {0, 1}) {
            if (writing[w]) {
                writing[w].reset();
                const WriteResult result = writers[w].wait();
                if (!result.failure)
                    summary_.rowsWritten += result.rowsWritten;
            }
        }
    }

    // Turns a failure into a stop when the run was asked to stop: a cancelled statement is
    // the stop itself, not a failure to report.
    [[noreturn]] void throwUnlessStopped(const DbError &error, ChangeRunStep step)
    {
        ThrowUnlessStopped(cancel_, error, step);
    }

    // The rows of each table to walk by key, counted before anything is written, so that the
    // run can say how many it left of one that it could not walk; -1 where the remote server
    // could not be reached, and the reason why.
    void countKeyedRows()
    {
        for (const KeyedRelation &relation : source_.keyedRelations()) {
            qint64 rows = -1;
            QString failure;
            try {
                QSqlQuery count =
                    session_.exec(QStringLiteral("SELECT count(*) FROM ONLY %1 AS t WHERE %2")
                                      .arg(relation.sql, source_.condition().sql()));
                if (count.next())
                    rows = count.value(0).toLongLong();
            } catch (const DbError &error) {
                if (cancel_.cancelled())
                    throw RunStopped();
                failure = error.text();
            }
            keyedRows_ << rows;
            keyedFailures_ << failure;
        }
    }

    // The journal's record of the run, begun before anything is written: a run whose journal
    // cannot be written writes nothing.
    void beginJournal()
    {
        JournalRun run;
        run.server = settings_.server;
        run.port = settings_.port;
        run.database = settings_.database;
        run.table = table_;
        for (const PassField &field : fields_)
            run.fields << field.name;
        run.mode = mode_;
        run.exceptionWords = words_->words();
        run.nameRules = words_->nameRules() && CaseModeOf(mode_).nameRules;
        run.leaveMixedCase = words_->leaveMixedCase();
        run.keptValues = words_->keptValues();
        run.condition = source_.condition().text();
        run.language = CaseLanguageOf(words_->language()).code;
        try {
            run.identity = RowIdentity::Of(session_, source_.tablePlan());
            run.databaseIdentity = DatabaseIdentity::Of(session_);
        } catch (const DbError &error) {
            throwUnlessStopped(error, ChangeRunStep::Source);
        }
        try {
            journal_ = ChangeJournal::Begin(run, journalLock_);
        } catch (const JournalError &error) {
            throw RunFailure(error.text(), ChangeRunStep::Write);
        }
    }

    // The UPDATE for a prepared chunk, without the rows whose old values the server refused in
    // an earlier chunk; none when nothing is left to write.
    std::optional<WriteJob> prepareJob(const PassChunk &chunk, PreparedChunk prepared)
    {
        std::optional<WriteRows> rows = rowsToWrite(std::move(prepared));
        if (!rows)
            return std::nullopt;
        return WriteJob{fields_.size() == 1 ? statements_->valuesTarget(fields_[0], chunk.relation)
                                            : statements_->rowsTarget(fields_, chunk.relation),
                        std::make_pair(chunk.first(), chunk.end()), std::move(*rows)};
    }

    // A prepared chunk's rows to write, counted, without those whose old values the server
    // refused in an earlier chunk; none when nothing is left.
    std::optional<WriteRows> rowsToWrite(PreparedChunk prepared)
    {
        WriteRows &rows = prepared.rows;
        tally_.takeRead(prepared, rows);
        if (chunkReadHook_)
            chunkReadHook_();
        if (rows.size() == 0)
            return std::nullopt;
        return std::move(rows);
    }

    void takeResult(const WriteResult &result)
    {
        if (result.failure)
            throwUnlessStopped(*result.failure, ChangeRunStep::Write);
        tally_.takeWritten(result);
    }

    const ConnectionSettings &settings_;
    DbSession &session_;
    const TableRef &table_;
    const CaseMode mode_;
    const std::shared_ptr<const WordExceptions> words_;
    QList<PassField> fields_;
    CancelGroup &cancel_;
    const std::function<void()> &chunkReadHook_;
    const std::function<void()> &recordedHook_;
    ProgressReport progress_;
    const std::function<void(const QStringList &)> &caution_;
    ChangeRunSummary &summary_;
    std::optional<JournalRun> &journal_;
    RunLock &journalLock_; // held while the run goes on, so that no undo takes it meanwhile
    RunSource source_;
    std::optional<PassStatements> statements_;
    RunTally tally_;
    QList<qint64> keyedRows_;      // per table to walk by key: its rows, -1 when not counted
    QList<QString> keyedFailures_; // per table to walk by key: why it could not be counted
    qint64 progressDone_ = 0, progressTotal_ = 0;
    qint64 rowsDone_ = 0; // read in the blocks done
    qint64 keyRowsDone_ = 0, keyBlocksDone_ = 0;
};

} // namespace

ChangeRun::ChangeRun(const ConnectionSettings &settings, const CaseChange &change, QObject *parent)
    : Job(settings, parent), change_(change)
{
    qRegisterMetaType<ChangeRunSummary>();
}

void ChangeRun::run()
{
    ChangeRunSummary summary;
    if (!change_.mode) {
        summary.noMode = true;
        emit finished(summary);
        return;
    }
    std::optional<JournalRun> journal;
    RunLock journalLock; // let go once the journal knows how the run ended
    try {
        std::unique_ptr<DbSession> session;
        try {
            session = std::make_unique<DbSession>(
                settings(), DbSession::Options{RunTimeout, RunTimeout, true, true});
        } catch (const DbError &error) {
            if (cancelGroup().cancelled())
                throw RunStopped();
            throw RunFailure(error.text(), ChangeRunStep::Session);
        }
        const CancelMembership membership(cancelGroup(), *session);
        try {
            WithDurableCommits(*session, [&] {
                Runner(
                    settings(), *session, change_.table, change_.fields, *change_.mode,
                    change_.condition,
                    // Built once for the run and shared by its two readers.
                    change_.options(), cancelGroup(), chunkReadHook_, recordedHook_,
                    [this](int percent) { emit progress(percent); },
                    [this](qint64 done, qint64 total, bool estimated) {
                        emit rowsDone(done, total, estimated);
                    },
                    [this](const QStringList &owners) { emit cautioned(owners); }, summary, journal,
                    journalLock)
                    .run();
            });
        } catch (const DbError &error) {
            ThrowUnlessStopped(cancelGroup(), error, ChangeRunStep::Write);
        }
    } catch (const RunFailure &failure) {
        summary.endedEarly = true;
        // The failure that ended the run is the one the user must see first.
        summary.firstError = failure.text;
        summary.firstErrorStep = failure.step;
    } catch (const RunStopped &) {
        summary.endedEarly = true;
        summary.stopped = true;
    }
    if (journal) {
        journal->rowsRead = summary.rowsRead;
        journal->valuesChanged = summary.valuesChanged;
        journal->rowsWritten = summary.rowsWritten;
        journal->valuesNotWritten = summary.valuesNotWritten;
        journal->rowsRefused = summary.rowsRefused;
        journal->valuesLeftMixed = summary.valuesLeftMixed;
        journal->valuesKept = summary.valuesKept;
        journal->rowsLeftChanged = summary.rowsLeftChanged;
        journal->endedWhole = !summary.endedEarly;
        journal->stopped = summary.stopped;
        if (summary.endedEarly && !summary.stopped)
            journal->failure = summary.firstError;
        try {
            ChangeJournal::End(*journal);
        } catch (const JournalError &error) {
            if (summary.firstError.isEmpty()) {
                summary.firstError = error.text();
                summary.firstErrorStep = ChangeRunStep::Write;
            }
        }
    }
    emit finished(summary);
}
