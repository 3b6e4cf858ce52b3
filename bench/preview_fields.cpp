// Times Preview Changes of three text fields at once against the server's own count of the
// distinct values of the same three fields, measured in the same run on the same table, and
// prints the preview's peak resident memory.
//
//   preview_fields [rows]        default: 1000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE. The
// table has a primary key and three text fields a, b, c of 40 characters, every value distinct in
//   (a) Upper, every value changes
//   (b) Upper, one value in ten changes in each field (in other rows for each field)
// and, as names and cities do, where every value repeats:
//   (c) Upper, 5,000 distinct values in each field, every value changes
// The reference is SELECT count(*) FROM (SELECT f FROM t GROUP BY f) for each of the three
// fields, in one statement, on the server's own settings. A preview writes nothing, so each case
// reads one table five times, the reference and the preview taking turns; the figures are
// medians, with the ratio's range.
#include "db/dbsession.h"
#include "peakmemory.h"
#include "preview/changepreview.h"
#include "repeat.h"
#include "serverenvironment.h"
#include "serversettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

struct Scenario {
    const char *label;
    const char *valueSql; // the value of field number %1 (0 to 2) of row i
};

const Scenario scenarios[] = {
    {"(a) Upper, all change", "md5(%1 || ':' || i) || lpad(i::text, 8, '0')"},
    {"(b) Upper, 10% change",
     "CASE WHEN i % 10 = %1 THEN md5(%1 || ':' || i) ELSE upper(md5(%1 || ':' || i)) END"
     " || lpad(i::text, 8, '0')"},
    {"(c) Upper, 5,000 values repeat",
     "md5(%1 || ':' || i % 5000) || lpad((i % 5000)::text, 8, '0')"},
};

const QString Table = QStringLiteral("bench_preview");

void makeTable(DbSession &session, const Scenario &scenario, qint64 rows)
{
    const QString value = QString::fromLatin1(scenario.valueSql);
    auto field = [&](int k) { return value.arg(k); };
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(Table));
    session.execute(
        QStringLiteral("CREATE TABLE %1 (id bigint PRIMARY KEY, a text, b text, c text)")
            .arg(Table));
    session.execute(
        QStringLiteral("INSERT INTO %1 SELECT i, %2, %3, %4 FROM generate_series(1, %5) i")
            .arg(Table, field(0), field(1), field(2), QString::number(rows)));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(Table));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;

    const ConnectionSettings settings = ServerFromEnvironment();
    const QStringList fields{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTextStream out(stdout);
    try {
        DbSession session(settings, {15, 0});
        // The benchmark's own tables are in public, which a session of the program's leaves
        // out of its search path.
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        out << "server: " << ServerSettingsLine(session) << "\n";
        out << "rows\tscenario\tpreview s\tserver s\tratio (range)\tpreview peak MiB\n";
        out.flush();
        for (const Scenario &scenario : scenarios) {
            makeTable(session, scenario, rows);
            Repeats preview, server, ratio;
            double peak = 0;
            PreviewResult last;
            for (int round = 0; round < Repeats::Count; ++round) {
                QElapsedTimer clock;
                clock.start();
                session.execute(QStringLiteral(
                    "SELECT (SELECT count(*) FROM (SELECT a FROM bench_preview GROUP BY a) g),"
                    " (SELECT count(*) FROM (SELECT b FROM bench_preview GROUP BY b) g),"
                    " (SELECT count(*) FROM (SELECT c FROM bench_preview GROUP BY c) g)"));
                const double serverSeconds = clock.nsecsElapsed() / 1e9;

                ResetPeakMemory();
                ChangePreview run(
                    settings,
                    CaseChange{{QStringLiteral("public"), Table}, fields, CaseMode::Upper});
                QObject::connect(&run, &ChangePreview::finished,
                                 [&](const PreviewResult &r) { last = r; });
                clock.restart();
                run.run();
                const double previewSeconds = clock.nsecsElapsed() / 1e9;
                peak = qMax(peak, PeakMemoryMiB());
                if (!last.error.isEmpty()) {
                    out << "preview failed: " << last.error << "\n";
                    return 1;
                }
                preview.add(previewSeconds);
                server.add(serverSeconds);
                ratio.add(previewSeconds / serverSeconds);
            }
            out << rows << '\t' << scenario.label << '\t'
                << QString::number(preview.median(), 'f', 2) << '\t'
                << QString::number(server.median(), 'f', 2) << '\t' << ratio.summary() << '\t'
                << QString::number(peak, 'f', 1) << "\t(rows changing";
            for (const FieldCounts &counted : std::as_const(last.counted))
                out << ' ' << counted.name << '=' << counted.rowsChanging;
            out << ", " << last.changes.size() << " changes listed)\n";
            out.flush();
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(Table));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    }
    return 0;
}
