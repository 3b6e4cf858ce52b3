// Times the undo of a change run against the server's own set-wise UPDATE on an identical copy
// of the same table, and prints the undo's peak resident memory and the journal's size on disk
// against the size of the changed values.
//
//   undo [rows ...]        default: 1000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE; the
// journal goes to a temporary folder. For each table (with a primary key, and without one, whose
// rows the journal finds by their position) the run is made the way the change run makes it:
// chunk by chunk, an UPDATE to capitals that returns the identity, old and new value of each row
// it writes, recorded through JournalWriter before the chunk's transaction commits. The undo
// then writes every old value back; the reference is UPDATE t SET f = upper(f) on the copy. Each
// case is repeated five times on fresh tables; the figures are medians, with the ratio's range.
#include "db/dbsession.h"
#include "journal/journalwriter.h"
#include "journal/undorun.h"
#include "peakmemory.h"
#include "repeat.h"
#include "serverenvironment.h"
#include "serversettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

const QString ValueSql = QStringLiteral("md5(i::text) || lpad(i::text, 8, '0')");
// The same 40-character value, for checking that the undo brought it back.
const QString OriginalSql = QStringLiteral("md5(id::text) || lpad(id::text, 8, '0')");
constexpr qint64 ChunkBlocks = 64;

void makeTable(DbSession &session, const QString &name, bool key, qint64 rows)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    session.execute(QStringLiteral("CREATE TABLE %1 (id bigint%2, f text, other integer)")
                        .arg(name, key ? QStringLiteral(" PRIMARY KEY") : QString()));
    session.execute(
        QStringLiteral("INSERT INTO %1 SELECT i, %2, i % 1000 FROM generate_series(1, %3) i")
            .arg(name, ValueSql, QString::number(rows)));
    // A second indexed column, as real tables have.
    session.execute(QStringLiteral("CREATE INDEX ON %1 (other)").arg(name));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
}

// The change run on `name`, recorded in the journal; returns the seconds spent recording.
double journalledRun(DbSession &session, const ConnectionSettings &settings, const QString &name,
                     JournalRun &run)
{
    const TableRef table{QStringLiteral("public"), name};
    run.server = settings.server;
    run.port = settings.port;
    run.database = settings.database;
    run.table = table;
    run.fields = {QStringLiteral("f")};
    run.mode = CaseMode::Upper;
    run.identity = RowIdentity::Of(session, table);
    run.databaseIdentity = DatabaseIdentity::Of(session);
    RunLock lock;
    run = ChangeJournal::Begin(run, lock);
    JournalWriter writer(run);

    QSqlQuery size = session.exec(QStringLiteral("SELECT pg_relation_size('%1') / "
                                                 "current_setting('block_size')::bigint")
                                      .arg(name));
    size.next();
    const qint64 blocks = size.value(0).toLongLong();
    size = QSqlQuery();
    const QString d = QStringLiteral("\x1f");
    double recordSeconds = 0;
    for (qint64 first = 0; first < blocks; first += ChunkBlocks) {
        session.database().transaction();
        QSqlQuery chunk = session.exec(
            QStringLiteral("WITH u AS (UPDATE ONLY %1 AS t SET f = upper(t.f)"
                           " FROM (SELECT ctid AS c, f AS o FROM ONLY %1"
                           " WHERE ctid >= '(%2,0)'::tid AND ctid < '(%3,0)'::tid) AS s"
                           " WHERE t.ctid = s.c AND s.o <> upper(s.o)"
                           " RETURNING %4 AS id, s.o, t.f AS n)"
                           " SELECT string_agg(id, E'\\x1f'), string_agg(o, E'\\x1f'),"
                           " string_agg(n, E'\\x1f') FROM u")
                .arg(table.sql())
                .arg(first)
                .arg(first + ChunkBlocks)
                .arg(run.identity.sql(QStringLiteral("t"))));
        chunk.next();
        if (!chunk.value(0).isNull()) {
            const QStringList identities = chunk.value(0).toString().split(d);
            const QStringList olds = chunk.value(1).toString().split(d);
            const QStringList news = chunk.value(2).toString().split(d);
            QElapsedTimer clock;
            clock.start();
            writer.record(QStringLiteral("f"), table.sql(), identities, olds, news);
            recordSeconds += clock.nsecsElapsed() / 1e9;
            session.database().commit();
            writer.committed();
            session.database().transaction();
            run.rowsWritten += identities.size();
        }
        chunk = QSqlQuery();
        session.database().commit();
    }
    run.endedWhole = true;
    ChangeJournal::End(run);
    return recordSeconds;
}

qint64 journalBytes(const JournalRun &run)
{
    qint64 bytes = 0;
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        bytes += QFileInfo(run.file + suffix).size();
    return bytes;
}

struct Measure {
    double undoSeconds = 0, serverSeconds = 0, recordSeconds = 0;
    double peak = 0, journal = 0, changedBytes = 0;
};

// One round on fresh tables; throws std::runtime_error when the undo did not restore the table.
Measure measure(DbSession &session, const ConnectionSettings &settings, bool key, qint64 rows)
{
    Measure m;
    makeTable(session, QStringLiteral("bench_undo"), key, rows);
    makeTable(session, QStringLiteral("bench_server"), key, rows);

    JournalRun run;
    m.recordSeconds = journalledRun(session, settings, QStringLiteral("bench_undo"), run);
    QSqlQuery changed = session.exec(
        QStringLiteral("SELECT sum(octet_length(%1)) FROM bench_undo").arg(OriginalSql));
    changed.next();
    m.changedBytes = changed.value(0).toDouble();
    changed = QSqlQuery();
    m.journal = double(journalBytes(run));

    session.execute(QStringLiteral("CHECKPOINT"));
    QElapsedTimer clock;
    clock.start();
    session.execute(QStringLiteral("UPDATE bench_server SET f = upper(f)"));
    m.serverSeconds = clock.nsecsElapsed() / 1e9;

    session.execute(QStringLiteral("CHECKPOINT"));
    ResetPeakMemory();
    UndoRun undo(settings, run);
    UndoSummary summary;
    QObject::connect(&undo, &UndoRun::finished, [&](const UndoSummary &s) { summary = s; });
    clock.restart();
    undo.run();
    m.undoSeconds = clock.nsecsElapsed() / 1e9;
    m.peak = PeakMemoryMiB();
    if (!summary.firstError.isEmpty() || summary.rowsRestored != rows)
        throw std::runtime_error(QStringLiteral("undo failed: %1 (rows restored %2)")
                                     .arg(summary.firstError)
                                     .arg(summary.rowsRestored)
                                     .toStdString());
    QSqlQuery check = session.exec(
        QStringLiteral("SELECT count(*) FROM bench_undo WHERE f = %1").arg(OriginalSql));
    check.next();
    if (check.value(0).toLongLong() != rows)
        throw std::runtime_error(QStringLiteral("undo left %1 rows without their old value")
                                     .arg(rows - check.value(0).toLongLong())
                                     .toStdString());
    return m;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<qint64> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toLongLong();
    if (sizes.isEmpty())
        sizes = {1000000};
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());

    const ConnectionSettings settings = ServerFromEnvironment();
    QTextStream out(stdout);
    try {
        DbSession session(settings, {15, 0});
        // The benchmark's own tables are in public, which a session of the program's leaves
        // out of its search path.
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        out << "server: " << ServerSettingsLine(session) << "\n";
        out << "rows\ttable\tundo s\tserver s\tratio (range)\tundo peak MiB\tjournal MB"
               "\tchanged values MB\tjournal/changed\trecording s\n";
        out.flush();
        for (qint64 rows : sizes) {
            for (const bool key : {true, false}) {
                Repeats undo, server, ratio, record;
                Measure last;
                double peak = 0;
                for (int round = 0; round < Repeats::Count; ++round) {
                    last = measure(session, settings, key, rows);
                    undo.add(last.undoSeconds);
                    server.add(last.serverSeconds);
                    ratio.add(last.undoSeconds / last.serverSeconds);
                    record.add(last.recordSeconds);
                    peak = qMax(peak, last.peak);
                }
                out << rows << '\t' << (key ? "primary key" : "no key (by position)") << '\t'
                    << QString::number(undo.median(), 'f', 2) << '\t'
                    << QString::number(server.median(), 'f', 2) << '\t' << ratio.summary() << '\t'
                    << QString::number(peak, 'f', 1) << '\t'
                    << QString::number(last.journal / 1e6, 'f', 1) << '\t'
                    << QString::number(last.changedBytes / 1e6, 'f', 1) << '\t'
                    << QString::number(last.journal / last.changedBytes, 'f', 2) << '\t'
                    << QString::number(record.median(), 'f', 2) << '\n';
                out.flush();
            }
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_undo, bench_server"));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    } catch (const JournalError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    } catch (const std::runtime_error &error) {
        out << "failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
