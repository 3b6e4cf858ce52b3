// Times the change run against the server's own set-wise UPDATE on an identical copy of the
// same table, and prints the engine's peak resident memory.
//
//   change_run [rows ...]        default: 1000000 3000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE.
// Scenarios, each on a fresh pair of tables with a text field and a second column; (a) to (c)
// at each size asked for, with 40-character values:
//   (a) Upper, every value changes        reference: UPDATE t SET f = upper(f)
//   (b) Upper, one value in ten changes   reference: UPDATE t SET f = upper(f)
//   (c) Proper, every value changes       reference: UPDATE t SET f = initcap(f) (speed only)
// The preview of each run is timed too, on the table before the run changes it, against the
// same reference. And once, for memory and refusals:
//   (d) 10,000 values of 10 KB, (e) one 10 MB value among 1,000 small ones: peak memory;
//   (f) 100,000 values all written, (g) the same where a constraint refuses every value: the
//       ratio of (g) to (f).
#include "db/changepreview.h"
#include "db/changerun.h"
#include "db/dbsession.h"
#include "serverenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

// Peak resident memory of this process since the last reset, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Scenario {
    const char *label;
    CaseMode mode;
    const char *valueSql;        // the value of row i
    const char *reference;       // the server's own function
    qint64 rows = 0;             // a fixed number of rows instead of the size asked for
    const char *check = nullptr; // a constraint on f, for the engine's table only
};

// Every size asked for runs (a) to (c); (d) to (g) have sizes of their own and run once.
const Scenario scenarios[] = {
    {"(a) Upper, all change", CaseMode::Upper, "md5(i::text) || lpad(i::text, 8, '0')", "upper"},
    {"(b) Upper, 10% change", CaseMode::Upper,
     "CASE WHEN i % 10 = 0 THEN md5(i::text) ELSE upper(md5(i::text)) END || lpad(i::text, 8, '0')",
     "upper"},
    {"(c) Proper, all change", CaseMode::Proper,
     "translate(md5(i::text), '0123456789', 'gh jk mn p') || lpad(i::text, 8, '0')", "initcap"},
};

const Scenario onceScenarios[] = {
    {"(d) Upper, 10,000 x 10 KB", CaseMode::Upper,
     "(SELECT string_agg(md5(i::text || ':' || k), ' ') FROM generate_series(1, 310) k)", "upper",
     10000},
    {"(e) Upper, one 10 MB value", CaseMode::Upper,
     "CASE WHEN i = 1 THEN (SELECT string_agg(md5(k::text), ' ') FROM generate_series(1, 300000) k)"
     " ELSE md5(i::text) END",
     "upper", 1000},
    {"(f) Upper, 100,000 all written", CaseMode::Upper, "md5(i::text)", "upper", 100000},
    {"(g) Upper, 100,000 all refused", CaseMode::Upper, "md5(i::text)", "upper", 100000,
     "f = lower(f)"},
};

void makeTable(DbSession &session, const QString &name, const Scenario &scenario, qint64 rows,
               bool withCheck)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    session.execute(
        QStringLiteral("CREATE TABLE %1 (id bigint, f text, other integer%2)")
            .arg(name, withCheck && scenario.check
                           ? QStringLiteral(", CHECK (%1)").arg(QLatin1String(scenario.check))
                           : QString()));
    session.execute(
        QStringLiteral("INSERT INTO %1 SELECT i, %2, i % 1000 FROM generate_series(1, %3) i")
            .arg(name, QString::fromLatin1(scenario.valueSql), QString::number(rows)));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The runs' journals go to a folder of the benchmark's own, not to the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QList<qint64> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toLongLong();
    if (sizes.isEmpty())
        sizes = {1000000, 3000000};

    const ConnectionSettings settings = ServerFromEnvironment();
    QTextStream out(stdout);
    out << "rows\tscenario\tengine s\tserver s\tratio\tengine peak MiB\tpreview s\tpreview ratio"
           "\tpreview peak MiB\n";
    double lastEngineSeconds = 0;
    out.flush();
    try {
        DbSession session(settings, {15, 0});
        auto measure = [&](const Scenario &scenario, qint64 rows) {
            makeTable(session, QStringLiteral("bench_engine"), scenario, rows, true);
            makeTable(session, QStringLiteral("bench_server"), scenario, rows, false);

            session.execute(QStringLiteral("CHECKPOINT"));
            QElapsedTimer clock;
            clock.start();
            session.execute(QStringLiteral("UPDATE bench_server SET f = %1(f)")
                                .arg(QString::fromLatin1(scenario.reference)));
            const double serverSeconds = clock.nsecsElapsed() / 1e9;

            // The preview, on the table before the run changes it.
            const TableRef engineTable{QStringLiteral("public"), QStringLiteral("bench_engine")};
            session.execute(QStringLiteral("CHECKPOINT"));
            resetPeak();
            ChangePreview preview(settings, engineTable, {QStringLiteral("f")}, scenario.mode);
            PreviewResult previewed;
            QObject::connect(&preview, &ChangePreview::finished,
                             [&](const PreviewResult &r) { previewed = r; });
            clock.restart();
            preview.run();
            const double previewSeconds = clock.nsecsElapsed() / 1e9;
            const double previewPeak = peakMiB();
            if (!previewed.error.isEmpty()) {
                out << "preview failed: " << previewed.error << "\n";
                return false;
            }

            session.execute(QStringLiteral("CHECKPOINT"));
            resetPeak();
            ChangeRun run(settings, engineTable, {QStringLiteral("f")}, scenario.mode);
            ChangeRunSummary summary;
            QObject::connect(&run, &ChangeRun::finished,
                             [&](const ChangeRunSummary &s) { summary = s; });
            clock.restart();
            run.run();
            const double engineSeconds = clock.nsecsElapsed() / 1e9;
            const double peak = peakMiB();
            if (summary.endedEarly) {
                out << "engine failed: " << summary.firstError << "\n";
                return false;
            }
            out << rows << '\t' << scenario.label << '\t' << QString::number(engineSeconds, 'f', 2)
                << '\t' << QString::number(serverSeconds, 'f', 2) << '\t'
                << QString::number(engineSeconds / serverSeconds, 'f', 2) << '\t'
                << QString::number(peak, 'f', 1) << '\t' << QString::number(previewSeconds, 'f', 2)
                << '\t' << QString::number(previewSeconds / serverSeconds, 'f', 2) << '\t'
                << QString::number(previewPeak, 'f', 1) << "\t(rows written " << summary.rowsWritten
                << ", values refused " << summary.valuesNotWritten << ")\n";
            out.flush();
            lastEngineSeconds = engineSeconds;
            return true;
        };
        for (qint64 rows : sizes) {
            for (const Scenario &scenario : scenarios) {
                if (!measure(scenario, rows))
                    return 1;
            }
        }
        double writtenSeconds = 0;
        for (const Scenario &scenario : onceScenarios) {
            if (!measure(scenario, scenario.rows))
                return 1;
            if (!scenario.check)
                writtenSeconds = lastEngineSeconds;
            else
                out << "\t(g) against (f): "
                    << QString::number(lastEngineSeconds / writtenSeconds, 'f', 2) << "\n";
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_engine, bench_server"));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    }
    return 0;
}
