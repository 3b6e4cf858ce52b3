// Times the change run against the server's own set-wise UPDATE on an identical copy of the
// same table, and prints the engine's peak resident memory.
//
//   change_run [rows ...]        default: 1000000 3000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE.
// Scenarios, each on a fresh pair of tables with a 40-character text field and a second column:
//   (a) Upper, every value changes        reference: UPDATE t SET f = upper(f)
//   (b) Upper, one value in ten changes   reference: UPDATE t SET f = upper(f)
//   (c) Proper, every value changes       reference: UPDATE t SET f = initcap(f) (speed only)
//   (d) as (c), with 1,000 word exceptions of three letters (speed only)
#include "db/changerun.h"
#include "db/dbsession.h"
#include "serverenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
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
    const char *valueSql;  // the 40-character value of row i
    const char *reference; // the server's own function
    bool exceptionWords = false;
};

const Scenario scenarios[] = {
    {"(a) Upper, all change", CaseMode::Upper, "md5(i::text) || lpad(i::text, 8, '0')", "upper"},
    {"(b) Upper, 10% change", CaseMode::Upper,
     "CASE WHEN i % 10 = 0 THEN md5(i::text) ELSE upper(md5(i::text)) END || lpad(i::text, 8, '0')",
     "upper"},
    {"(c) Proper, all change", CaseMode::Proper,
     "translate(md5(i::text), '0123456789', 'gh jk mn p') || lpad(i::text, 8, '0')", "initcap"},
    {"(d) Proper, 1,000 words", CaseMode::Proper,
     "translate(md5(i::text), '0123456789', 'gh jk mn p') || lpad(i::text, 8, '0')", "initcap",
     true},
};

// 1,000 words of three of the 13 letters that the values of (c) and (d) are made of, in
// capitals: nearly half of the 2,197 three-letter words that a value may hold are listed.
QStringList exceptionWords()
{
    const QString letters = QStringLiteral("ABCDEFGHJKMNP");
    QStringList words;
    for (int i = 0; i < 1000; ++i) {
        const int k = i * 7 % 2197; // 7 is prime to 13, so every k is another word
        words << QString(letters[k % 13]) + letters[k / 13 % 13] + letters[k / 169];
    }
    return words;
}

void makeTable(DbSession &session, const QString &name, const Scenario &scenario, qint64 rows)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    session.execute(QStringLiteral("CREATE TABLE %1 (id bigint, f text, other integer)").arg(name));
    session.execute(
        QStringLiteral("INSERT INTO %1 SELECT i, %2, i % 1000 FROM generate_series(1, %3) i")
            .arg(name, QString::fromLatin1(scenario.valueSql), QString::number(rows)));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<qint64> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toLongLong();
    if (sizes.isEmpty())
        sizes = {1000000, 3000000};

    const ConnectionSettings settings = ServerFromEnvironment();
    QTextStream out(stdout);
    out << "rows\tscenario\tengine s\tserver s\tratio\tengine peak MiB\n";
    out.flush();
    try {
        DbSession session(settings, {15, 0});
        for (qint64 rows : sizes) {
            for (const Scenario &scenario : scenarios) {
                makeTable(session, QStringLiteral("bench_engine"), scenario, rows);
                makeTable(session, QStringLiteral("bench_server"), scenario, rows);

                session.execute(QStringLiteral("CHECKPOINT"));
                QElapsedTimer clock;
                clock.start();
                session.execute(QStringLiteral("UPDATE bench_server SET f = %1(f)")
                                    .arg(QString::fromLatin1(scenario.reference)));
                const double serverSeconds = clock.nsecsElapsed() / 1e9;

                session.execute(QStringLiteral("CHECKPOINT"));
                resetPeak();
                ChangeRun run(settings, {QStringLiteral("public"), QStringLiteral("bench_engine")},
                              {QStringLiteral("f")}, scenario.mode, nullptr,
                              scenario.exceptionWords ? exceptionWords() : QStringList());
                ChangeRunSummary summary;
                QObject::connect(&run, &ChangeRun::finished,
                                 [&](const ChangeRunSummary &s) { summary = s; });
                clock.restart();
                run.run();
                const double engineSeconds = clock.nsecsElapsed() / 1e9;
                const double peak = peakMiB();
                if (!summary.firstError.isEmpty()) {
                    out << "engine failed: " << summary.firstError << "\n";
                    return 1;
                }
                out << rows << '\t' << scenario.label << '\t'
                    << QString::number(engineSeconds, 'f', 2) << '\t'
                    << QString::number(serverSeconds, 'f', 2) << '\t'
                    << QString::number(engineSeconds / serverSeconds, 'f', 2) << '\t'
                    << QString::number(peak, 'f', 1) << "\t(rows written " << summary.rowsWritten
                    << ")\n";
                out.flush();
            }
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_engine, bench_server"));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    }
    return 0;
}
