// Times change runs that change only some values: by a row condition, and with mixed-case
// values left as written; prints medians of five rounds on fresh tables, the ratios' ranges and
// the engine's peak resident memory.
//
//   row_condition [--cases abc] [rows]        default: every case; 1000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE. Each
// table has a primary key (id), a text field f of about 40 characters, an unindexed integer grp
// (id % 10) and an indexed integer k (id % 1000), so that the rows of one k lie scattered over
// the whole table:
//   (a) UPPER where grp = 3 (10% of the rows)   reference: UPDATE t SET f = upper(f) WHERE grp = 3
//   (b) UPPER where k = 7 (0.1%, indexed)       reference: UPDATE t SET f = upper(f), every row
//   (c) Proper Case with Leave Mixed-Case Values, one value in ten written in mixed case, the
//       others in small letters                 reference: the same run with the option off
#include "db/dbsession.h"
#include "peakmemory.h"
#include "repeat.h"
#include "run/changerun.h"
#include "serverenvironment.h"
#include "serversettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <stdexcept>

namespace {

// A value of about 40 characters: small letters, or in one row of ten mixed case.
const QString LowerSql = QStringLiteral("'anna maria ' || md5(i::text)");
const QString MixedSql = QStringLiteral(
    "CASE WHEN i % 10 = 5 THEN 'Anna McLean ' || md5(i::text) ELSE 'anna maria ' || md5(i::text) "
    "END");

void makeTable(DbSession &session, const QString &name, const QString &valueSql, qint64 rows)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    session.execute(
        QStringLiteral("CREATE TABLE %1 (id bigint PRIMARY KEY, f text, grp int, k int)")
            .arg(name));
    session.execute(
        QStringLiteral(
            "INSERT INTO %1 SELECT i, %2, i % 10, i % 1000 FROM generate_series(1, %3) i")
            .arg(name, valueSql, QString::number(rows)));
    session.execute(QStringLiteral("CREATE INDEX ON %1 (k)").arg(name));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
}

double timed(DbSession &session, const std::function<void()> &work)
{
    session.execute(QStringLiteral("CHECKPOINT"));
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e9;
}

// The run, timed; throws when it failed or did not write the rows expected.
double timedRun(DbSession &session, const ConnectionSettings &settings, CaseChange change,
                qint64 expectedRows, double &peak)
{
    ChangeRunSummary summary;
    ResetPeakMemory();
    const double seconds = timed(session, [&] {
        ChangeRun run(settings, change);
        QObject::connect(&run, &ChangeRun::finished,
                         [&](const ChangeRunSummary &s) { summary = s; });
        run.run();
    });
    peak = qMax(peak, PeakMemoryMiB());
    if (summary.endedEarly || summary.rowsWritten != expectedRows)
        throw std::runtime_error(QStringLiteral("the run wrote %1 rows, not %2: %3")
                                     .arg(summary.rowsWritten)
                                     .arg(expectedRows)
                                     .arg(summary.firstError)
                                     .toStdString());
    return seconds;
}

qint64 count(DbSession &session, const QString &sql)
{
    QSqlQuery query = session.exec(sql);
    query.next();
    return query.value(0).toLongLong();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString cases = QStringLiteral("abc");
    qint64 rows = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--cases" && i + 1 < argc)
            cases = QString::fromLatin1(argv[++i]);
        else
            rows = QByteArray(argv[i]).toLongLong();
    }
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const ConnectionSettings settings = ServerFromEnvironment();
    const TableRef engineTable{QStringLiteral("public"), QStringLiteral("bench_engine")};
    QTextStream out(stdout);
    try {
        DbSession session(settings, {15, 0});
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        out << "server: " << ServerSettingsLine(session) << "\n";
        out << "rows\tcase\tengine s\treference s\tratio (range)\ttarget\tpeak MiB\n";
        out.flush();
        const auto report = [&](const char *label, const Repeats &engine, const Repeats &reference,
                                const Repeats &ratio, const char *target, double peak) {
            out << rows << '\t' << label << '\t' << QString::number(engine.median(), 'f', 2) << '\t'
                << QString::number(reference.median(), 'f', 2) << '\t' << ratio.summary(3) << '\t'
                << target << '\t' << QString::number(peak, 'f', 1) << "\n";
            out.flush();
        };

        // (a) and (b): a condition, against the server's own UPDATE on a copy.
        const struct {
            QChar name;
            const char *label;
            QString condition;
            QString reference;
            qint64 picked;
            const char *target;
        } conditions[] = {
            {u'a', "(a) grp = 3, unindexed, 10%", QStringLiteral("grp = 3"),
             QStringLiteral("UPDATE bench_server SET f = upper(f) WHERE grp = 3"), rows / 10,
             "<= 1.3"},
            {u'b', "(b) k = 7, indexed, 0.1%", QStringLiteral("k = 7"),
             QStringLiteral("UPDATE bench_server SET f = upper(f)"), rows / 1000, "<= 0.05"},
        };
        for (const auto &c : conditions) {
            if (!cases.contains(c.name))
                continue;
            Repeats engine, reference, ratio;
            double peak = 0;
            for (int round = 0; round < Repeats::Count; ++round) {
                makeTable(session, QStringLiteral("bench_engine"), LowerSql, rows);
                makeTable(session, QStringLiteral("bench_server"), LowerSql, rows);
                const double server = timed(session, [&] { session.execute(c.reference); });
                CaseChange change{engineTable, {QStringLiteral("f")}, CaseMode::Upper};
                change.condition = c.condition;
                const double seconds = timedRun(session, settings, change, c.picked, peak);
                const qint64 upper =
                    count(session, QStringLiteral("SELECT count(*) FROM "
                                                  "bench_engine WHERE f = upper(f)"));
                if (upper != c.picked)
                    throw std::runtime_error("the run changed other rows than the condition's");
                engine.add(seconds);
                reference.add(server);
                ratio.add(seconds / server);
            }
            report(c.label, engine, reference, ratio, c.target, peak);
        }

        // (c) Leave Mixed-Case Values on against off, each on a fresh table.
        Repeats on, off, ratio;
        double peak = 0;
        for (int round = 0; round < Repeats::Count && cases.contains(u'c'); ++round) {
            CaseChange change{engineTable, {QStringLiteral("f")}, CaseMode::Proper};
            makeTable(session, QStringLiteral("bench_engine"), MixedSql, rows);
            const double without = timedRun(session, settings, change, rows, peak);
            makeTable(session, QStringLiteral("bench_engine"), MixedSql, rows);
            change.leaveMixedCase = true;
            const double with = timedRun(session, settings, change, rows - rows / 10, peak);
            on.add(with);
            off.add(without);
            ratio.add(with / without);
        }
        if (cases.contains(u'c'))
            report("(c) leave mixed case, on / off", on, off, ratio, "<= 1.2", peak);
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_engine"));
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_server"));
    } catch (const std::exception &error) {
        out << "failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
