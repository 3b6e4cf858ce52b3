#include "run/chunkwriter.h"

#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/sqlquote.h"
#include "run/rowupdate.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QVariant>
#include <chrono>
#include <thread>

namespace {

constexpr int ConflictAttempts = 6;

// Runs the action again after a deadlock or serialization failure, with a short random pause
// that grows with each try, so that the two transactions do not meet again in step.
template <typename Action>
auto withRetries(Action action) -> decltype(action())
{
    for (int attempt = 1;; ++attempt) {
        try {
            return action();
        } catch (const DbError &error) {
            if (!IsConflict(error) || attempt == ConflictAttempts)
                throw;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(QRandomGenerator::global()->bounded(10, 60) * attempt));
    }
}

// Whether a failed commit certainly wrote nothing: the server answered it with an error.
// Class 08 is a lost or failed connection, and HY the driver's own failures; either may come
// after the server committed.
bool refusedByServer(const DbError &error)
{
    const QString state = error.sqlState();
    return state.size() == 5 && !state.startsWith(QLatin1String("08")) &&
           !state.startsWith(QLatin1String("HY"));
}

QString condition(const QString &filter)
{
    return filter.isEmpty() ? QStringLiteral("true") : filter;
}

} // namespace

ChunkWriter::ChunkWriter(const ConnectionSettings &settings, int timeout, const QStringList &setup,
                         CancelGroup &cancel, RowRecorderFactory recorder)
    : makeRecorder_(std::move(recorder)),
      worker_(settings, DbSession::Options{timeout, timeout, true, true}, setup, &cancel)
{
}

void ChunkWriter::submit(WriteJob job)
{
    worker_.submit([this, job = std::move(job)](DbSession &session) {
        // The recorder is made in the worker's thread, which its journal connection belongs to.
        if (makeRecorder_ && !recorder_)
            recorder_ = makeRecorder_();
        result_ = write(session, job);
    });
}

WriteResult ChunkWriter::wait()
{
    WriteResult result;
    try {
        worker_.wait();
        result = std::move(result_);
    } catch (const DbError &error) {
        result.failure = error; // the session could not be opened or set up
    } catch (const std::exception &error) {
        result.failure = DbError(QString::fromStdString(error.what())); // nor the recorder made
    }
    result_ = WriteResult();
    return result;
}

QString ChunkWriter::RangeSql(const QString &first, const QString &end)
{
    return QStringLiteral("t.ctid >= '%1'::tid AND t.ctid < '%2'::tid").arg(first, end);
}

// Each statement commits on its own, after its rows are recorded: one statement changes all the
// rows it matches or none, so nothing is ever half-written, and a failed statement leaves
// nothing behind. A stop that comes once the rows are recorded lets the statement commit, so
// that the record and the table agree.
template <typename Statement>
void ChunkWriter::recorded(DbSession &session, bool remote, Statement statement)
{
    if (!recorder_) {
        statement();
        return;
    }
    session.execute(QStringLiteral("BEGIN"));
    try {
        statement();
    } catch (...) {
        try {
            session.endTransaction(false);
        } catch (const DbError &) {
            // The connection is gone; so is the transaction.
        }
        throw;
    }
    try {
        session.endTransaction(true);
        recorder_->committed();
    } catch (const DbError &error) {
        // The server refused the commit (a constraint checked only then, a cancel that came
        // late): nothing of the statement was written, and its rows are taken out of the
        // record. A commit that may have gone through keeps them: an undo restores only rows
        // that still hold what the run wrote. So does one lost with the connection, and one
        // through a foreign-data wrapper that a cancel ended, since the wrapper commits on the
        // remote server before this server's commit is done.
        if (refusedByServer(error) && !(remote && DbSession::IsCancellation(error)))
            recorder_->forget();
        throw;
    }
}

WriteResult ChunkWriter::write(DbSession &session, const WriteJob &job)
{
    // Refused values and conflicts are retried, tried row by row or halved below: none of
    // them ends the run.
    if (job.target.byKey())
        return writeRounds(session, job);
    const qsizetype items = job.rows.size();
    WriteResult result;
    std::optional<DbError> refusal; // of the whole chunk as one statement
    try {
        try {
            withRetries([&] {
                WriteResult attempt;
                writeWhole(session, job, 0, items, attempt);
                result = std::move(attempt);
            });
            return result;
        } catch (const DbError &error) {
            if (!ConcernsOneValue(error))
                throw;
            refusal = error;
        }
        // Some row is refused. The server tries the chunk's items one by one in a single
        // statement and names the refused ones; where it cannot, the items are halved until
        // each refused one stands alone.
        try {
            bool done = false;
            withRetries([&] {
                WriteResult attempt;
                done = writeRowByRow(session, job, attempt);
                if (done)
                    result = std::move(attempt);
            });
            if (done)
                return result;
        } catch (const DbError &error) {
            if (!ConcernsOneValue(error))
                throw;
        }
        result = WriteResult();
        writeHalves(session, job, 0, items, *refusal, result);
    } catch (const DbError &error) {
        result.failure = error;
    }
    return result;
}

namespace {

// The parts of a statement's answer: "1,2,3" for its items and masks, the array of identities.
bool parseNumbers(const QString &text, QList<qsizetype> &numbers)
{
    for (const QStringView number : QStringView(text).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        numbers.push_back(number.toLongLong(&ok));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

// What a statement's rows w (columns i, the item from 1, id and m) come back as: the items, the
// identities and the masks, each list joined. Identities that cannot hold the separator come
// joined by it, which costs the server less than an array's text.
QString ChunkWriter::WrittenSql(const WriteTarget &target, bool recording, bool masked)
{
    QString identities = QStringLiteral("NULL");
    if (recording)
        identities = target.identitySeparator.isNull()
                         ? QStringLiteral("array_agg(id)::text")
                         : QStringLiteral("string_agg(id, %1)")
                               .arg(QuoteLiteral(QString(target.identitySeparator)));
    return QStringLiteral("SELECT string_agg(i::text, ','), %1, %2 FROM w")
        .arg(identities,
             masked ? QStringLiteral("string_agg(m::text, ',')") : QStringLiteral("NULL"));
}

// One statement for items [from, to): it writes every row that matches or none, and returns
// the item of each row it wrote, with the fields it changed and the row's identity for the
// journal, by which the items that found fewer rows than were read are known.
void ChunkWriter::writeWhole(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                             WriteResult &result)
{
    const WriteTarget &target = job.target;
    const bool recording = recorder_ && !target.identity.isEmpty();
    const bool masked = recording && target.fields.size() > 1;
    QString sql;
    if (target.byKey()) {
        sql = RowUpdate(target, false).keyStatement(recording, masked) +
              WrittenSql(target, recording, masked);
    } else {
        const RowUpdate update(target, job.rows.byPlace());
        const QString range =
            job.range ? RangeSql(job.range->first, job.range->second) : QStringLiteral("true");
        // The items are joined straight from the function that unpacks them: a CTE of them
        // would copy every item once more before the join.
        sql = QStringLiteral("WITH w AS (UPDATE %3 AS t SET %4 FROM unnest(%1) WITH ORDINALITY"
                             " AS v(%2) WHERE %5 AND %6 AND %7"
                             " RETURNING v.i, %8 AS id, %9 AS m) ")
                  .arg(update.arraysFromParameters(), update.columns(), target.relation,
                       update.set(), range, condition(target.filter), update.match(),
                       recording ? target.identity : QStringLiteral("NULL::text"),
                       masked ? update.mask() : QStringLiteral("1")) +
              WrittenSql(target, recording, masked);
    }
    recorded(session, target.byKey(), [&] {
        QSqlQuery query = session.exec(sql, job.rows.params(from, to));
        if (!query.next())
            return;
        Written written;
        QList<qsizetype> masks;
        if (!parseNumbers(query.value(0).toString(), written.items) ||
            !parseNumbers(query.value(2).toString(), masks))
            throw DbError(QStringLiteral("The rows written could not be told apart."));
        for (qsizetype &item : written.items) {
            item += from - 1;
            if (item < from || item >= to)
                throw DbError(QStringLiteral("The rows written could not be told apart."));
        }
        for (const qsizetype mask : masks)
            written.masks.push_back(int(mask));
        if (recording && !written.items.isEmpty() && !target.identitySeparator.isNull())
            written.identities = query.value(1).toString().split(target.identitySeparator);
        if (recording && !written.items.isEmpty() &&
            ((target.identitySeparator.isNull() &&
              !ParseTextArray(query.value(1).toString(), written.identities)) ||
             written.identities.size() != written.items.size() ||
             (masked && written.masks.size() != written.items.size())))
            throw DbError(QStringLiteral("The identities of the rows written could not be "
                                         "taken apart."));
        takeWritten(job, from, to, written, {}, result);
    });
}

namespace {

// Whether the statement wrote each of the items once, in their order, with every field that
// the item changes: then the items' own lists are the record.
bool writtenAsSent(const WriteRows &rows, qsizetype from, qsizetype to,
                   const ChunkWriter::Written &written)
{
    if (from != 0 || to != rows.size() || written.items.size() != rows.size())
        return false;
    for (qsizetype i = 0; i < written.items.size(); ++i) {
        if (written.items[i] != i)
            return false;
        if (rows.fields() == 1)
            continue;
        for (qsizetype k = 0; k < rows.fields(); ++k) {
            if (bool(written.masks.value(i) & (1 << k)) == rows.news[k][i].isEmpty())
                return false;
        }
    }
    return true;
}

} // namespace

// Takes in the rows a statement wrote for items [from, to): the journal records them, with the
// fields each had changed, and an item that was not refused and found fewer rows than were
// read is missing the rest, in each field it changes.
void ChunkWriter::takeWritten(const WriteJob &job, qsizetype from, qsizetype to,
                              const Written &written,
                              const QList<std::pair<QString, qint64>> &refusals,
                              WriteResult &result)
{
    const WriteRows &rows = job.rows;
    const qsizetype fields = rows.fields();
    if (!written.identities.isEmpty() && writtenAsSent(rows, from, to, written)) {
        recorder_->record(job.target, written.identities, rows);
    } else if (!written.identities.isEmpty()) {
        WriteRows recorded(fields);
        for (qsizetype r = 0; r < written.items.size(); ++r) {
            const qsizetype i = written.items[r];
            const int mask = fields == 1 ? 1 : written.masks.value(r);
            for (qsizetype k = 0; k < fields; ++k) {
                const bool changed = mask & (1 << k);
                recorded.olds[k].push_back(changed ? rows.olds[k][i] : QString());
                recorded.news[k].push_back(changed ? rows.news[k][i] : QString());
            }
        }
        recorder_->record(job.target, written.identities, recorded);
    }
    result.rowsWritten += written.items.size();
    QList<qint64> found(to - from, 0);
    for (const qsizetype i : written.items)
        ++found[i - from];
    for (qsizetype i = from; i < to; ++i) {
        const auto &[refusal, refusedRows] = refusals.value(i - from);
        if (!refusal.isNull()) {
            result.refused.push_back({rows.key(i), refusal, refusedRows});
            continue;
        }
        if (found[i - from] >= rows.counts[i])
            continue;
        MissingRows missing{{}, {}, rows.counts[i] - found[i - from]};
        for (qsizetype k = 0; k < fields; ++k) {
            missing.olds << rows.olds[k][i];
            missing.news << rows.news[k][i];
        }
        result.missing.push_back(std::move(missing));
    }
}

// A function of the session's own temporary schema, made once per kind of job, tries each item
// of the chunk under its own exception block: the rows that can be written are, and the refused
// ones are named with the server's text. Deadlocks and cancellations still end the statement.
// Its name; empty when it cannot be made (no right to temporary objects).
QString ChunkWriter::rowFunction(DbSession &session, const WriteJob &job, bool recording)
{
    const WriteTarget &target = job.target;
    const RowUpdate update(target, job.rows.byPlace());
    const QString identity = recording ? target.identity : QStringLiteral("NULL::text");
    const QString mask = recording ? update.mask() : QStringLiteral("1");
    const QString set = update.set(), match = update.match();
    const QString key =
        QStringList{target.relation, target.filter, set, match, identity, mask}.join(QChar(0));
    QString function = rowFunctions_.value(key);
    if (!function.isEmpty())
        return function;
    function = QStringLiteral("pg_temp.recasor_rows_%1").arg(rowFunctions_.size() + 1);
    const QString filter = condition(target.filter);
    const QString columns = update.columns();
    const QString values = update.columns(QStringLiteral("p."));
    const qsizetype low = update.arrays() + 1;
    try {
        // The function's own names never meet the table's fields: its parameters are used by
        // position, an item's values reach the UPDATE through a derived table, and every field
        // is named through its table. The body holds the table's quoted names, so it is quoted
        // under a tag that none of them holds: a name can never end it and add statements.
        const QString body =
            QStringLiteral(
                " #variable_conflict use_column\n"
                " DECLARE p record; BEGIN"
                " FOR p IN SELECT t.ctid AS r, v.* FROM %1 AS t,"
                " unnest(%2) WITH ORDINALITY AS v(%3)"
                " WHERE t.ctid >= $%4 AND t.ctid < $%5 AND %6 AND %7 LOOP"
                " BEGIN"
                " UPDATE %1 AS t SET %8"
                " FROM (SELECT p.r, %9) AS v(r, %3) WHERE t.ctid = v.r AND %6 AND %7"
                " RETURNING %10, %11 INTO id, m;"
                " IF FOUND THEN i := p.i; message := NULL; RETURN NEXT; END IF;"
                " EXCEPTION WHEN OTHERS THEN"
                " IF SQLSTATE IN ('40P01', '40001', '57014') THEN RAISE; END IF;"
                " i := p.i; message := 'ERROR: ' || SQLERRM; id := NULL; m := 0; RETURN NEXT;"
                " END; END LOOP; END ")
                .arg(target.relation, update.arraysFromArguments(), columns, QString::number(low),
                     QString::number(low + 1), filter, match, set, values, identity, mask);
        session.execute(
            QStringLiteral("CREATE OR REPLACE FUNCTION %1(%2, pg_catalog.tid, pg_catalog.tid)"
                           " RETURNS TABLE(i bigint, message text, id text, m integer)"
                           " LANGUAGE plpgsql AS %3")
                .arg(function, update.argumentTypes(), DollarQuoted(body)));
    } catch (const DbError &error) {
        if (error.sqlState() == QLatin1String("42501") || ConcernsOneValue(error))
            return QString();
        throw;
    }
    rowFunctions_.insert(key, function);
    return function;
}

// The chunk's items tried one by one in a single statement, by the row function; false when
// there is none.
bool ChunkWriter::writeRowByRow(DbSession &session, const WriteJob &job, WriteResult &result)
{
    const bool recording = recorder_ && !job.target.identity.isEmpty();
    const QString function = rowFunction(session, job, recording);
    if (function.isEmpty())
        return false;
    const WriteRows &rows = job.rows;
    const RowUpdate update(job.target, rows.byPlace());
    QVariantList params = rows.params(0, rows.size());
    params << (job.range ? job.range->first : QStringLiteral("(0,0)"))
           << (job.range ? job.range->second : QStringLiteral("(4294967295,0)"));
    recorded(session, job.target.byKey(), [&] {
        QSqlQuery query =
            session.exec(QStringLiteral("SELECT i, message, id, m FROM %1(%2, ?::tid, ?::tid)")
                             .arg(function, update.arraysFromParameters()),
                         params);
        // Each refused row of an item comes back on its own: the item's first text, and its
        // rows refused.
        QList<std::pair<QString, qint64>> refusals(rows.size());
        Written written;
        while (query.next()) {
            const qsizetype i = query.value(0).toLongLong() - 1;
            if (i < 0 || i >= rows.size())
                continue;
            if (!query.value(1).isNull()) {
                if (refusals[i].first.isNull())
                    refusals[i].first = query.value(1).toString();
                ++refusals[i].second;
                continue;
            }
            written.items.push_back(i);
            written.masks.push_back(query.value(3).toInt());
            if (recording)
                written.identities.push_back(query.value(2).toString());
        }
        takeWritten(job, 0, rows.size(), written, refusals, result);
    });
    return true;
}

// Writes items [from, to), halving the range on a refusal until each refused item stands
// alone.
void ChunkWriter::writeHalving(DbSession &session, const WriteJob &job, qsizetype from,
                               qsizetype to, WriteResult &result)
{
    if (from >= to)
        return;
    try {
        withRetries([&] {
            WriteResult attempt;
            writeWhole(session, job, from, to, attempt);
            result.rowsWritten += attempt.rowsWritten;
            result.missing += attempt.missing;
        });
        return;
    } catch (const DbError &error) {
        if (!ConcernsOneValue(error))
            throw;
        writeHalves(session, job, from, to, error, result);
    }
}

// Items [from, to), which the server refused as one statement with that failure: a lone item
// is the refused one, more are written half by half.
void ChunkWriter::writeHalves(DbSession &session, const WriteJob &job, qsizetype from, qsizetype to,
                              const DbError &failure, WriteResult &result)
{
    if (to - from == 1) {
        result.refused.push_back({job.rows.key(from), failure.text(), job.rows.counts[from]});
        return;
    }
    const qsizetype middle = from + (to - from) / 2;
    writeHalving(session, job, from, middle, result);
    writeHalving(session, job, middle, to, result);
}

// Items matched by key, in rounds of distinct keys: rows that share a key (a partition key need
// not be unique) but not their values are items of their own, and one statement finds only one
// item per key. A refusal is found by halving, a statement by key at a time being what the
// wrapper would send anyway; a row that another client changed or moved to another key is left
// as that client made it.
WriteResult ChunkWriter::writeRounds(DbSession &session, const WriteJob &job)
{
    WriteResult result;
    // The keys come in key order, so that a key that repeats does so next to itself; a chunk
    // without one is a single round as it stands.
    bool repeats = false;
    for (qsizetype i = 1; i < job.rows.size() && !repeats; ++i)
        repeats = job.rows.places[i] == job.rows.places[i - 1];
    QList<WriteJob> rounds;
    QHash<QString, qsizetype> seen; // key -> rounds it is in
    for (qsizetype i = 0; repeats && i < job.rows.size(); ++i) {
        const qsizetype round = seen[job.rows.places[i]]++;
        if (round == rounds.size())
            rounds.push_back(WriteJob{job.target, std::nullopt, WriteRows(job.rows.fields())});
        QList<QString> olds, news;
        for (qsizetype k = 0; k < job.rows.fields(); ++k) {
            olds << job.rows.olds[k][i];
            news << job.rows.news[k][i];
        }
        rounds[round].rows.add(job.rows.places[i], olds, news, job.rows.counts[i]);
    }
    for (WriteJob &round : rounds)
        round.rows.join();
    const auto write = [&](const WriteJob &round) {
        const qsizetype items = round.rows.size();
        try {
            withRetries([&] {
                WriteResult attempt;
                writeWhole(session, round, 0, items, attempt);
                result.rowsWritten += attempt.rowsWritten;
                result.refused += attempt.refused;
                result.missing += attempt.missing;
            });
        } catch (const DbError &error) {
            if (!ConcernsOneValue(error))
                throw;
            writeHalves(session, round, 0, items, error, result);
        }
    };
    try {
        if (!repeats)
            write(job);
        for (const WriteJob &round : rounds)
            write(round);
    } catch (const DbError &error) {
        result.failure = error;
    }
    // A row that another client changed or moved to another key is not tried again.
    for (const MissingRows &missing : std::as_const(result.missing))
        result.rowsLeftChanged += missing.rows;
    result.missing.clear();
    return result;
}
