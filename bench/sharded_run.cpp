// A change run over a table whose partitions are a local table and a foreign one
// (postgres_fdw): half the rows each, against the server's own UPDATE of the parent, taking
// turns round by round, each on the table made anew, and the undo of the run against the same
// UPDATE. Needs the test server's variables and RECASOR_TEST_REMOTE, as scripts/bench sets them.
//   sharded_run [rows]      default: 1000000 (half local, half foreign)
#include "db/dbsession.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"
#include "peakmemory.h"
#include "repeat.h"
#include "run/changerun.h"
#include "serversettings.h"
#include "shardedtable.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Values of 40 characters in lower case, which UPPER CASE changes all.
const QString ValueSql = QStringLiteral("md5(i::text) || lpad(i::text, 8, '0')");

bool makeTable(qint64 rows)
{
    const ConnectionSettings settings = TestDatabase::settings();
    QString failure = TestDatabase::execIn(settings, {"CREATE SCHEMA IF NOT EXISTS bench"});
    if (failure.isEmpty())
        failure =
            ShardedTable::make(settings, "bench", "people", rows / 2, rows - rows / 2, ValueSql);
    if (failure.isEmpty())
        failure = ShardedTable::execRemote({"VACUUM ANALYZE bench.people_far"});
    if (failure.isEmpty())
        failure = TestDatabase::execIn(settings, {"VACUUM ANALYZE bench.people_local"});
    if (!failure.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(failure));
    return failure.isEmpty();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The runs' journals go to a folder of the benchmark's own, not to the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QString why;
    if (!ShardedTable::available(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    {
        DbSession session(TestDatabase::settings());
        std::printf("%s\n", qPrintable(ServerSettingsLine(session)));
    }
    std::printf("%lld rows: %lld local, %lld foreign\n", rows, rows / 2, rows - rows / 2);
    Repeats run, server, ratio, undo, undoRatio;
    double peak = 0;
    for (int round = 0; round < Repeats::Count; ++round) {
        if (!makeTable(rows))
            return 1;
        ResetPeakMemory();
        ChangeRun change(TestDatabase::settings(),
                         CaseChange{TableRef{"bench", "people"}, {"name"}, CaseMode::Upper});
        ChangeRunSummary summary;
        QObject::connect(&change, &ChangeRun::finished,
                         [&](const ChangeRunSummary &s) { summary = s; });
        QElapsedTimer clock;
        clock.start();
        change.run();
        const double runSeconds = clock.elapsed() / 1000.0;
        peak = qMax(peak, PeakMemoryMiB());
        if (summary.rowsWritten != rows || !summary.relationsLeft.isEmpty()) {
            std::fprintf(stderr, "the run wrote %lld rows of %lld: %s\n", summary.rowsWritten, rows,
                         qPrintable(summary.firstError));
            return 1;
        }
        const std::optional<JournalRun> last = ChangeJournal::Last(TestDatabase::settings());
        if (!last) {
            std::fprintf(stderr, "the run left no journal\n");
            return 1;
        }
        UndoRun undoRun(TestDatabase::settings(), *last);
        UndoSummary undone;
        QObject::connect(&undoRun, &UndoRun::finished, [&](const UndoSummary &s) { undone = s; });
        clock.restart();
        undoRun.run();
        const double undoSeconds = clock.elapsed() / 1000.0;
        peak = qMax(peak, PeakMemoryMiB());
        if (undone.endedEarly || undone.rowsRestored != rows) {
            std::fprintf(stderr, "the undo restored %lld rows of %lld: %s\n", undone.rowsRestored,
                         rows, qPrintable(undone.firstError));
            return 1;
        }
        if (!makeTable(rows))
            return 1;
        clock.restart();
        const QString failure = TestDatabase::execIn(
            TestDatabase::settings(), {"UPDATE bench.people SET name = upper(name)"});
        const double serverSeconds = clock.elapsed() / 1000.0;
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(failure));
            return 1;
        }
        run.add(runSeconds);
        server.add(serverSeconds);
        ratio.add(runSeconds / serverSeconds);
        undo.add(undoSeconds);
        undoRatio.add(undoSeconds / serverSeconds);
        std::printf("round %d: run %.2f s, undo %.2f s, server's UPDATE %.2f s\n", round + 1,
                    runSeconds, undoSeconds, serverSeconds);
        std::fflush(stdout);
    }
    std::printf("run %s s, server's UPDATE %s s, ratio %s, peak memory %.0f MiB\n",
                qPrintable(run.summary()), qPrintable(server.summary()),
                qPrintable(ratio.summary()), peak);
    std::printf("undo %s s, ratio %s\n", qPrintable(undo.summary()),
                qPrintable(undoRatio.summary()));
    TestDatabase::execIn(TestDatabase::settings(), {"DROP SCHEMA bench CASCADE"});
    ShardedTable::dropRemote("bench");
    return 0;
}
