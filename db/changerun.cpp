// How a run works. The table (with its inheritance children or partitions) is walked by
// ranges of its physical blocks, a chunk at a time, one pass per field:
//   1. the server sends the field's values in the chunk's block range, in their text form,
//      leaving out ASCII values that the rule certainly leaves as they are;
//   2. the values are converted; the distinct (old, new) pairs that the rule changes are kept;
//   3. one UPDATE joins the pairs to the rows of the same block range, matching rows by their
//      current value, and writes only rows whose value really changes; it commits on its own
//      and changes all the rows it matches or none.
// The block range only limits which rows one statement looks at, so every statement reads a
// small part of the table and the run stays linear in its size; rows are still matched by
// value, so a row that another client changed in the meantime is not overwritten.
// Two readers fetch and prepare the next chunks while two writers write the current ones, each
// on a session of its own, so that the server's work and ours overlap.
// When a statement fails for a value (the type refuses the new text, a constraint, a
// trigger), the new texts are first checked against the field's type in one statement, and
// the rest of the chunk's pairs are halved until the refused values are found; the others are
// written. Failures that concern the whole run end it; what was written before stays written.
#include "db/changerun.h"

#include "casing/wordexceptions.h"
#include "db/chunkreader.h"
#include "db/chunkwriter.h"
#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>
#include <QtGlobal>
#include <deque>

int ChangeRunLine::Execute(CaseMode mode)
{
    return 148 + 10 * static_cast<int>(mode);
}

namespace {

// Seconds, as the run's session asks for both its login and its statements.
constexpr int RunTimeout = 5000;

// For the writing sessions: a chunk's pairs are hashed in memory, not sorted on disk;
// compiling each statement to machine code costs more than it saves; and a plan made for
// the bound values would split them once more while planning, only to count them.
const QStringList WriterSetup = {QStringLiteral("SET work_mem = '64MB'"),
                                 QStringLiteral("SET jit = off"),
                                 QStringLiteral("SET plan_cache_mode = force_generic_plan")};

constexpr qint64 FirstChunkBlocks = 16;
constexpr qint64 MaxChunkBlocks = 1 << 10;
constexpr qint64 ChunkTargetMs = 250;
constexpr qint64 ChunkTargetBytes = 1 << 19; // text read per chunk, in UTF-16 bytes
constexpr qint64 ProgressIntervalMs = 50;

struct Relation {
    QString sql;   // "schema"."name"
    qint64 blocks; // its size when the pass started
};

struct Chunk {
    const Relation *relation;
    qint64 first; // first block
    qint64 end;   // block after the last
};

struct Field {
    QString name;
    QString sql;            // "name"
    QString typeSql;        // "schema"."type", for casting the new text to the field's type
    bool plainText = false; // text or varchar: the value is its own text form
    QSet<QString> refused;  // old values the server would not take, not tried again
};

class RunFailure
{
public:
    RunFailure(const QString &text, int line) : text(text), line(line) {}
    QString text;
    int line;
};

class Runner
{
public:
    Runner(const ConnectionSettings &settings, DbSession &session, const TableRef &table,
           const QStringList &fields, CaseMode mode, std::shared_ptr<const WordExceptions> words,
           const std::atomic<bool> &stop, const std::function<void()> &chunkReadHook,
           const std::function<void(int)> &progress, ChangeRunSummary &summary)
        : settings_(settings), session_(session), table_(table), mode_(mode),
          words_(std::move(words)), stop_(stop), chunkReadHook_(chunkReadHook), progress_(progress),
          summary_(summary)
    {
        for (const QString &name : fields)
            fields_.push_back(Field{name, QuoteIdentifier(name), QString(), false, {}});
    }

    void run()
    {
        const QList<QString> relationOids = plan();
        // Two readers take turns, so that while one chunk is written the next two are being
        // read and prepared.
        ChunkReader readers[2] = {{settings_, RunTimeout, mode_, words_},
                                  {settings_, RunTimeout, mode_, words_}};
        ChunkWriter writers[2] = {{settings_, RunTimeout, WriterSetup},
                                  {settings_, RunTimeout, WriterSetup}};
        progressClock_.start();
        // One pass per field: a pass moves the rows it writes to new places in the table,
        // so each pass measures the table afresh and finds them wherever they went.
        for (qsizetype k = 0; k < fields_.size(); ++k) {
            countRows_ = k == 0;
            Field &field = fields_[k];
            const QList<Relation> relations = measure(relationOids);
            qint64 totalBlocks = 0;
            for (const Relation &relation : relations)
                totalBlocks += relation.blocks;

            qint64 chunkBlocks = FirstChunkBlocks;
            qsizetype relationIndex = 0;
            qint64 position = 0;
            auto nextChunk = [&]() -> std::optional<Chunk> {
                while (relationIndex < relations.size() &&
                       position >= relations[relationIndex].blocks) {
                    ++relationIndex;
                    position = 0;
                }
                if (relationIndex == relations.size())
                    return std::nullopt;
                const Relation &relation = relations[relationIndex];
                const Chunk chunk{&relation, position,
                                  qMin(relation.blocks, position + chunkBlocks)};
                position = chunk.end;
                return chunk;
            };

            // Chunks requested and not yet written, in order; chunk i goes to reader i % 2.
            std::deque<Chunk> pending;
            qsizetype requested = 0, taken = 0;
            auto requestNext = [&] {
                if (const std::optional<Chunk> chunk = nextChunk()) {
                    readers[requested++ % 2].request(readSql(field, *chunk));
                    pending.push_back(*chunk);
                }
            };
            requestNext();
            requestNext();

            // Two writers take turns as well; a writer's result is taken in when the writer
            // is needed again, or at the end of the pass.
            qint64 doneBlocks = 0;
            auto reportDone = [&](const Chunk &chunk) {
                doneBlocks += chunk.end - chunk.first;
                const double pass = totalBlocks ? double(doneBlocks) / totalBlocks : 1.0;
                const int percent = int((k + pass) * 100 / fields_.size());
                if (percent < 100)
                    reportProgress(percent, false);
            };
            std::optional<Chunk> writing[2];
            qsizetype dispatched = 0;
            auto collect = [&](int w) {
                if (writing[w]) {
                    takeResult(field, writers[w].wait());
                    reportDone(*writing[w]);
                    writing[w].reset();
                }
            };
            while (!pending.empty()) {
                QElapsedTimer chunkClock;
                chunkClock.start();
                const Chunk current = pending.front();
                pending.pop_front();
                PreparedChunk prepared;
                try {
                    prepared = readers[taken++ % 2].take();
                } catch (const DbError &error) {
                    throw RunFailure(error.text(), ChangeRunLine::Source);
                }
                requestNext();
                if (stop_.load(std::memory_order_relaxed)) {
                    summary_.endedEarly = true;
                    collect(0);
                    collect(1);
                    return;
                }
                const qint64 bytesRead = prepared.bytesRead;
                std::optional<WriteJob> job = prepareJob(current, field, std::move(prepared));
                if (job) {
                    const int w = int(dispatched++ % 2);
                    collect(w);
                    writers[w].submit(std::move(*job));
                    writing[w] = current;
                } else {
                    reportDone(current);
                }
                chunkBlocks = nextChunkSize(chunkBlocks, chunkClock.elapsed(), bytesRead);
            }
            collect(0);
            collect(1);
        }
        reportProgress(100, true);
    }

private:
    // The fields' types and the physical tables to walk (their oids); failures here concern
    // the source.
    QList<QString> plan()
    {
        QList<QString> oids;
        try {
            QSqlQuery encoding = session_.exec(QStringLiteral("SHOW server_encoding"));
            utf8_ = encoding.next() && encoding.value(0).toString() == QLatin1String("UTF8");
            QSqlQuery table = session_.exec(
                QStringLiteral("SELECT to_regclass(%1)::oid").arg(QuoteLiteral(table_.sql())));
            if (!table.next() || table.value(0).isNull())
                throw RunFailure(QStringLiteral("The table %1 does not exist.").arg(table_.sql()),
                                 ChangeRunLine::Source);
            const QString oid = table.value(0).toString();

            for (Field &field : fields_) {
                QSqlQuery type =
                    session_.exec(QStringLiteral("SELECT tn.nspname, t.typname FROM pg_attribute a"
                                                 " JOIN pg_type t ON t.oid = a.atttypid"
                                                 " JOIN pg_namespace tn ON tn.oid = t.typnamespace"
                                                 " WHERE a.attrelid = %1 AND a.attnum > 0"
                                                 " AND NOT a.attisdropped AND a.attname = %2")
                                      .arg(oid, QuoteLiteral(field.name)));
                if (!type.next())
                    throw RunFailure(QStringLiteral("The table %1 has no field %2.")
                                         .arg(table_.sql(), field.sql),
                                     ChangeRunLine::Source);
                field.typeSql = QualifiedName(type.value(0).toString(), type.value(1).toString());
                field.plainText = type.value(0).toString() == QLatin1String("pg_catalog") &&
                                  (type.value(1).toString() == QLatin1String("text") ||
                                   type.value(1).toString() == QLatin1String("varchar"));
            }

            // The table and every table that inherits from it or is a partition of it, as an
            // UPDATE of the table reaches them all; only those with storage of their own.
            QSqlQuery tree = session_.exec(
                QStringLiteral("WITH RECURSIVE tree(oid) AS (SELECT %1::oid UNION"
                               " SELECT i.inhrelid FROM pg_inherits i"
                               " JOIN tree ON i.inhparent = tree.oid)"
                               " SELECT c.oid FROM tree JOIN pg_class c ON c.oid = tree.oid"
                               " WHERE c.relkind = 'r' ORDER BY c.oid")
                    .arg(oid));
            while (tree.next())
                oids << tree.value(0).toString();
        } catch (const DbError &error) {
            throw RunFailure(error.text(), ChangeRunLine::Source);
        }
        return oids;
    }

    // Names and present sizes in blocks of the tables to walk.
    QList<Relation> measure(const QList<QString> &oids)
    {
        QList<Relation> relations;
        try {
            for (const QString &oid : oids) {
                QSqlQuery size = session_.exec(
                    QStringLiteral("SELECT n.nspname, c.relname, pg_relation_size(c.oid)"
                                   " / current_setting('block_size')::bigint FROM pg_class c"
                                   " JOIN pg_namespace n ON n.oid = c.relnamespace"
                                   " WHERE c.oid = %1")
                        .arg(oid));
                if (size.next())
                    relations.push_back(
                        {QualifiedName(size.value(0).toString(), size.value(1).toString()),
                         size.value(2).toLongLong()});
            }
        } catch (const DbError &error) {
            throw RunFailure(error.text(), ChangeRunLine::Source);
        }
        return relations;
    }

    static QString blockRange(const QString &alias, qint64 first, qint64 end)
    {
        return QStringLiteral("%1ctid >= '(%2,0)'::tid AND %1ctid < '(%3,0)'::tid")
            .arg(alias)
            .arg(first)
            .arg(end);
    }

    // A chunk's values come as one array, which is far cheaper to fetch through the driver
    // than one row per value (and the pairs go back as two joined texts for the same reason).
    //
    // The server counts the rows and leaves out the values that the rule certainly leaves as
    // they are, so that a column already mostly in the right case costs little to read: a
    // value of ASCII characters only, on which the ASCII-only case mapping of the "C"
    // collation (or, for Proper and Sentence, a pattern of ASCII letters) changes nothing.
    // Every other value is sent and the rule itself decides.
    QString readSql(const Field &field, const Chunk &chunk) const
    {
        // OFFSET 0 keeps the server from repeating the text form in every use of v.
        return QStringLiteral("SELECT count(*), array_agg(v) FILTER (WHERE %1)"
                              " FROM (SELECT %2 AS v FROM ONLY %3 WHERE %4 OFFSET 0) AS chunk")
            .arg(mayChangeSql(QStringLiteral("v")),
                 field.plainText ? field.sql : TextFormOf(field.sql), chunk.relation->sql,
                 blockRange(QString(), chunk.first, chunk.end));
    }

    // The condition on a text value (an SQL expression) that the rule may change it.
    QString mayChangeSql(const QString &value) const
    {
        // In UTF-8 a value is all ASCII exactly when it has one byte per character. A listed
        // word may change a value that the rule leaves as it is ("Usa" to "USA").
        if (!utf8_ || words_->appliesTo(mode_))
            return QStringLiteral("true");
        const QString v = value + QStringLiteral(" COLLATE \"C\"");
        QString ascii;
        switch (mode_) {
        case CaseMode::Upper:
            ascii = QStringLiteral("%1 <> upper(%1)").arg(v);
            break;
        case CaseMode::Lower:
            ascii = QStringLiteral("%1 <> lower(%1)").arg(v);
            break;
        case CaseMode::Proper:
            ascii = QStringLiteral("%1 ~ %2").arg(
                v, QuoteLiteral(QStringLiteral("(^|[ \\t\\r])[a-z]|[^ \\t\\r][A-Z]")));
            break;
        case CaseMode::Sentence:
            ascii = QStringLiteral("%1 ~ %2").arg(v, QuoteLiteral(QStringLiteral("^[a-z]|.[A-Z]")));
            break;
        }
        return QStringLiteral("(octet_length(%1) <> length(%1) OR %2)").arg(value, ascii);
    }

    // The UPDATE for a prepared chunk, without the values the server refused in an earlier
    // chunk; none when nothing is left to write.
    std::optional<WriteJob> prepareJob(const Chunk &chunk, Field &field, PreparedChunk prepared)
    {
        if (countRows_)
            summary_.rowsRead += prepared.rowsRead;
        summary_.valuesChanged += prepared.valuesChanged;
        if (chunkReadHook_)
            chunkReadHook_();
        if (!field.refused.isEmpty())
            prepared.dropPairs(
                [&](qsizetype i) { return field.refused.contains(prepared.olds[i]); });
        if (prepared.olds.isEmpty())
            return std::nullopt;

        // Text and varchar values are their own text form and every pair changes its value.
        // Other types are matched in their text form, and the new value must differ from the
        // stored one in that form too: a type may read the new text back as the old value (a
        // uuid in capitals), and writing it would only make a new row version and fire the
        // update triggers. For text, the condition used for reading leaves most unchanged
        // rows out before the join, so that the server looks up only rows that can match.
        const QString match =
            field.plainText
                ? QStringLiteral("t.%1 = v.o COLLATE \"C\" AND %2")
                      .arg(field.sql, mayChangeSql(QStringLiteral("t.") + field.sql))
                : QStringLiteral("format('%s', t.%1) = v.o COLLATE \"C\""
                                 " AND format('%s', CAST(v.n AS %2)) <> v.o COLLATE \"C\"")
                      .arg(field.sql, field.typeSql);
        return WriteJob{
            QStringLiteral("UPDATE ONLY %1 AS t SET %2 = CAST(v.n AS %3)"
                           " FROM unnest(string_to_array(?, ?), string_to_array(?, ?)) AS v(o, n)"
                           " WHERE %4 AND %5")
                .arg(chunk.relation->sql, field.sql, field.typeSql,
                     blockRange(QStringLiteral("t."), chunk.first, chunk.end), match),
            field.plainText ? QString() : field.typeSql, std::move(prepared)};
    }

    void takeResult(Field &field, const WriteResult &result)
    {
        if (result.failure)
            throw RunFailure(result.failure->text(), ChangeRunLine::Execute(mode_));
        summary_.rowsWritten += result.rowsWritten;
        for (const auto &[old, text] : result.refused) {
            // Both writers may have tried the same value before either knew it was refused.
            if (field.refused.contains(old))
                continue;
            field.refused.insert(old);
            ++summary_.valuesNotWritten;
            if (summary_.firstError.isEmpty()) {
                summary_.firstError = text;
                summary_.firstErrorLine = ChangeRunLine::Execute(mode_);
            }
        }
    }

    static qint64 nextChunkSize(qint64 blocks, qint64 elapsedMs, qint64 bytesRead)
    {
        qint64 next = blocks * 2;
        if (elapsedMs > 0)
            next = qMin(next, blocks * ChunkTargetMs / elapsedMs);
        if (bytesRead > 0)
            next = qMin(next, blocks * ChunkTargetBytes / bytesRead);
        return qBound<qint64>(1, next, MaxChunkBlocks);
    }

    void reportProgress(int percent, bool last)
    {
        if (!last && progressClock_.elapsed() < ProgressIntervalMs)
            return;
        progressClock_.restart();
        progress_(percent);
    }

    const ConnectionSettings &settings_;
    DbSession &session_;
    const TableRef &table_;
    const CaseMode mode_;
    const std::shared_ptr<const WordExceptions> words_;
    QList<Field> fields_;
    const std::atomic<bool> &stop_;
    const std::function<void()> &chunkReadHook_;
    const std::function<void(int)> progress_;
    ChangeRunSummary &summary_;
    QElapsedTimer progressClock_;
    bool countRows_ = true;
    bool utf8_ = false;
};

} // namespace

ChangeRun::ChangeRun(const ConnectionSettings &settings, const TableRef &table,
                     const QStringList &fields, std::optional<CaseMode> mode, QObject *parent,
                     const QStringList &exceptionWords)
    : QObject(parent), settings_(settings), table_(table), fields_(fields), mode_(mode),
      exceptionWords_(exceptionWords)
{
    qRegisterMetaType<ChangeRunSummary>();
}

void ChangeRun::run()
{
    ChangeRunSummary summary;
    if (!mode_) {
        summary.noMode = true;
        emit finished(summary);
        return;
    }
    try {
        std::unique_ptr<DbSession> session;
        try {
            session =
                std::make_unique<DbSession>(settings_, DbSession::Options{RunTimeout, RunTimeout});
        } catch (const DbError &error) {
            throw RunFailure(error.text(), ChangeRunLine::Session);
        }
        // Built once for the run and shared by its two readers.
        Runner(
            settings_, *session, table_, fields_, *mode_,
            std::make_shared<const WordExceptions>(exceptionWords_), stop_, chunkReadHook_,
            [this](int percent) { emit progress(percent); }, summary)
            .run();
    } catch (const RunFailure &failure) {
        summary.endedEarly = true;
        // The failure that ended the run is the one the user must see first.
        summary.firstError = failure.text;
        summary.firstErrorLine = failure.line;
    }
    emit finished(summary);
}
