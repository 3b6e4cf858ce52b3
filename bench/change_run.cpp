// Times the change run against the server's own set-wise UPDATE on an identical copy of the
// same table, and prints the engine's peak resident memory.
//
//   change_run [--cases abcdefghijklm] [rows ...]      default: every case; 1000000 3000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE.
// Scenarios, each on a fresh pair of tables with a primary key (id), a text field and a second,
// indexed column, as real tables have; (a) to (d) at each size asked for, with 40-character
// values, each repeated five times on fresh tables, printing the median and the range:
//   (a) Upper, every value changes        reference: UPDATE t SET f = upper(f)
//   (b) Upper, one value in ten changes   reference: UPDATE t SET f = upper(f)
//   (c) Proper, every value changes       reference: UPDATE t SET f = initcap(f) (speed only)
//   (d) as (c), with 1,000 word exceptions of three letters (speed only)
//   (i) Proper, names in capitals         reference: UPDATE t SET f = initcap(f) (speed only)
//   (j) as (i), with the name rules; the ratio of (j) to (i) is printed as well
// Three fields (f, g, h) of 40 characters, each with values of its own, converted in one run:
//   (k) Upper, every value changes        reference: UPDATE t SET f = upper(f), g = ..., h = ...
//       and the undo of the run against the same reference, and the server's count of row
//       updates (n_tup_upd) after the run
//   (l) Upper, one value in ten of each field changes   reference: as (k)
//   (m) as (a), on a table whose only index is its primary key
// The preview of each run is timed too, on the table before the run changes it, against the
// same reference. And once each, for memory and refusals:
//   (e) 10,000 values of 10 KB, (f) one 10 MB value among 1,000 small ones: peak memory;
//   (g) 100,000 values all written, (h) the same where a constraint refuses every value: the
//       ratio of (h) to (g).
#include "db/dbsession.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"
#include "peakmemory.h"
#include "preview/changepreview.h"
#include "repeat.h"
#include "run/changerun.h"
#include "serverenvironment.h"
#include "serversettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <ctime>
#include <optional>

namespace {

struct Scenario {
    const char *label;
    CaseMode mode;
    const char *valueSql;        // the value of row %1
    const char *reference;       // the server's own function
    qint64 rows = 0;             // a fixed number of rows instead of the size asked for
    const char *check = nullptr; // a constraint on f, for the engine's table only
    bool exceptionWords = false; // the run takes the 1,000 words of ExceptionWords()
    bool nameRules = false;      // the run and the preview take the name rules
    int fields = 1;              // f, and g and h with values of their own
    bool secondIndex = true;     // an indexed column beside the key, as real tables have
    bool undo = false;           // the run's undo is timed too
};

const char *const FieldNames[] = {"f", "g", "h"};

// 1,000 words of three of the 13 letters that the values of (c) and (d) are made of, in
// capitals: nearly half of the 2,197 three-letter words that a value may hold are listed.
QStringList ExceptionWords()
{
    const QString letters = QStringLiteral("ABCDEFGHJKMNP");
    QStringList words;
    for (int i = 0; i < 1000; ++i) {
        const int k = i * 7 % 2197; // 7 is prime to 13, so every k is another word
        words << QString(letters[k % 13]) + letters[k / 13 % 13] + letters[k / 169];
    }
    return words;
}

// Names in capitals of two to four words, some with "Mc", "O'", a hyphen, a particle or a
// numeral, about 20 characters, every one different.
constexpr const char *NamesSql =
    "(ARRAY['JOHN','MARIA','LUDWIG','ANNA','JEAN-PAUL','HENRY','SEAN','FATIMA'])[1 + %1 % 8]"
    " || (ARRAY['',' VAN',' DE',' VON DER',' BIN',' MARIE'])[1 + %1 / 8 % 6] || ' ' ||"
    " (ARRAY['SMITH','MCCARTNEY','O''NEILL','ZETA-JONES','GARCIA','AL-ASSAD','MACMILLAN'])"
    "[1 + %1 / 48 % 7] || ' ' || upper(to_hex(%1)) ||"
    " (ARRAY['','',' III',' VIII'])[1 + %1 / 336 % 4]";

// Every size asked for runs (a) to (d) and (i) to (m); (e) to (h) have sizes of their own and
// run once.
const Scenario scenarios[] = {
    {"(a) Upper, all change", CaseMode::Upper, "md5(%1::text) || lpad(%1::text, 8, '0')", "upper"},
    {"(b) Upper, 10% change", CaseMode::Upper,
     "CASE WHEN %1 % 10 = 0 THEN md5(%1::text) ELSE upper(md5(%1::text)) END"
     " || lpad(%1::text, 8, '0')",
     "upper"},
    {"(c) Proper, all change", CaseMode::Proper,
     "translate(md5(%1::text), '0123456789', 'gh jk mn p') || lpad(%1::text, 8, '0')", "initcap"},
    {"(d) Proper, 1,000 words", CaseMode::Proper,
     "translate(md5(%1::text), '0123456789', 'gh jk mn p') || lpad(%1::text, 8, '0')", "initcap", 0,
     nullptr, true},
    {"(i) Proper, names", CaseMode::Proper, NamesSql, "initcap"},
    {"(j) Proper, names, name rules", CaseMode::Proper, NamesSql, "initcap", 0, nullptr, false,
     true},
    {"(k) Upper, 3 fields, all change", CaseMode::Upper, "md5(%1::text) || lpad(%1::text, 8, '0')",
     "upper", 0, nullptr, false, false, 3, true, true},
    {"(l) Upper, 3 fields, 10% change", CaseMode::Upper,
     "CASE WHEN %1 % 10 = 0 THEN md5(%1::text) ELSE upper(md5(%1::text)) END"
     " || lpad(%1::text, 8, '0')",
     "upper", 0, nullptr, false, false, 3},
    {"(m) Upper, key only", CaseMode::Upper, "md5(%1::text) || lpad(%1::text, 8, '0')", "upper", 0,
     nullptr, false, false, 1, false},
};

const Scenario onceScenarios[] = {
    {"(e) Upper, 10,000 x 10 KB", CaseMode::Upper,
     "(SELECT string_agg(md5(%1::text || ':' || k), ' ') FROM generate_series(1, 310) k)", "upper",
     10000},
    {"(f) Upper, one 10 MB value", CaseMode::Upper,
     "CASE WHEN %1 = 1 THEN (SELECT string_agg(md5(k::text), ' ') FROM generate_series(1, 300000)"
     " k) ELSE md5(%1::text) END",
     "upper", 1000},
    {"(g) Upper, 100,000 all written", CaseMode::Upper, "md5(%1::text)", "upper", 100000},
    {"(h) Upper, 100,000 all refused", CaseMode::Upper, "md5(%1::text)", "upper", 100000,
     "f = lower(f)"},
};

void makeTable(DbSession &session, const QString &name, const Scenario &scenario, qint64 rows,
               bool withCheck)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    // Field k's value of row i is the scenario's value of row i + k * rows.
    QStringList columns, values;
    for (int k = 0; k < scenario.fields; ++k) {
        columns << QStringLiteral("%1 text").arg(QLatin1String(FieldNames[k]));
        values << QString::fromLatin1(scenario.valueSql)
                      .arg(k == 0 ? QStringLiteral("i") : QStringLiteral("(i + %1)").arg(k * rows));
    }
    session.execute(QStringLiteral("CREATE TABLE %1 (id bigint PRIMARY KEY, %2, other integer%3)")
                        .arg(name, columns.join(QStringLiteral(", ")),
                             withCheck && scenario.check
                                 ? QStringLiteral(", CHECK (%1)").arg(QLatin1String(scenario.check))
                                 : QString()));
    session.execute(
        QStringLiteral("INSERT INTO %1 SELECT i, %2, i % 1000 FROM generate_series(1, %3) i")
            .arg(name, values.join(QStringLiteral(", ")), QString::number(rows)));
    if (scenario.secondIndex)
        session.execute(QStringLiteral("CREATE INDEX ON %1 (other)").arg(name));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
}

// One run of a scenario on fresh tables.
struct Sample {
    double engineSeconds = 0, serverSeconds = 0, peak = 0;
    double previewSeconds = 0, previewPeak = 0;
    double undoSeconds = 0, undoPeak = 0;
    qint64 rowUpdates = 0;       // the server's count for the engine's table after the run
    double engineCpuSeconds = 0; // the program's own processor time during the run
    ChangeRunSummary summary;
};

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// The server's count of row updates of the table, once the sessions that wrote it have ended
// and reported them.
qint64 RowUpdates(DbSession &session, const QString &table)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        session.execute(QStringLiteral("SELECT pg_stat_clear_snapshot()"));
        QSqlQuery count = session.exec(
            QStringLiteral("SELECT n_tup_upd, (SELECT count(*) FROM pg_stat_activity WHERE"
                           " datname = current_database() AND pid <> pg_backend_pid()"
                           " AND backend_type = 'client backend')"
                           " FROM pg_stat_user_tables WHERE relname = '%1'")
                .arg(table));
        if (count.next() && count.value(1).toLongLong() == 0)
            return count.value(0).toLongLong();
        QThread::msleep(100);
    }
    return -1;
}

// The undo of the run just made, timed, with its peak memory.
bool timeUndo(const ConnectionSettings &settings, Sample &sample, QTextStream &out)
{
    const std::optional<JournalRun> last = ChangeJournal::Last(settings);
    if (!last) {
        out << "undo failed: no journal\n";
        return false;
    }
    ResetPeakMemory();
    UndoRun undo(settings, *last);
    UndoSummary summary;
    QObject::connect(&undo, &UndoRun::finished, [&](const UndoSummary &s) { summary = s; });
    QElapsedTimer clock;
    clock.start();
    undo.run();
    sample.undoSeconds = clock.nsecsElapsed() / 1e9;
    sample.undoPeak = PeakMemoryMiB();
    if (summary.endedEarly || summary.rowsRestored != sample.summary.rowsWritten) {
        out << "undo failed: " << summary.firstError << " (" << summary.rowsRestored
            << " rows restored)\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The runs' journals go to a folder of the benchmark's own, not to the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QList<qint64> sizes;
    QByteArray cases = "abcdefghijklm";
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--cases" && i + 1 < argc)
            cases = argv[++i];
        else
            sizes << QByteArray(argv[i]).toLongLong();
    }
    if (sizes.isEmpty())
        sizes = {1000000, 3000000};
    // The letter of a scenario is the second character of its label: "(a) ...".
    auto wanted = [&](const Scenario &scenario) { return cases.contains(scenario.label[1]); };

    const ConnectionSettings settings = ServerFromEnvironment();
    QTextStream out(stdout);
    try {
        DbSession session(settings, {15, 0});
        // The benchmark's own tables are in public, which a session of the program's leaves
        // out of its search path.
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        out << "server: " << ServerSettingsLine(session) << "\n";
        out << "rows\tscenario\tengine s\tserver s\tratio (range)\tengine peak MiB\tpreview s"
               "\tpreview ratio (range)\tpreview peak MiB\n";
        out.flush();
        auto measure = [&](const Scenario &scenario, qint64 rows) -> std::optional<Sample> {
            Sample sample;
            makeTable(session, QStringLiteral("bench_engine"), scenario, rows, true);
            makeTable(session, QStringLiteral("bench_server"), scenario, rows, false);

            session.execute(QStringLiteral("CHECKPOINT"));
            QElapsedTimer clock;
            clock.start();
            QStringList sets;
            for (int k = 0; k < scenario.fields; ++k)
                sets << QStringLiteral("%1 = %2(%1)")
                            .arg(QLatin1String(FieldNames[k]), QLatin1String(scenario.reference));
            session.execute(
                QStringLiteral("UPDATE bench_server SET %1").arg(sets.join(QStringLiteral(", "))));
            sample.serverSeconds = clock.nsecsElapsed() / 1e9;

            // The preview, on the table before the run changes it.
            const TableRef engineTable{QStringLiteral("public"), QStringLiteral("bench_engine")};
            session.execute(QStringLiteral("CHECKPOINT"));
            ResetPeakMemory();
            QStringList fields;
            for (int k = 0; k < scenario.fields; ++k)
                fields << QLatin1String(FieldNames[k]);
            ChangePreview preview(
                settings, CaseChange{engineTable, fields, scenario.mode,
                                     scenario.exceptionWords ? ExceptionWords() : QStringList(),
                                     scenario.nameRules});
            PreviewResult previewed;
            QObject::connect(&preview, &ChangePreview::finished,
                             [&](const PreviewResult &r) { previewed = r; });
            clock.restart();
            preview.run();
            sample.previewSeconds = clock.nsecsElapsed() / 1e9;
            sample.previewPeak = PeakMemoryMiB();
            if (!previewed.error.isEmpty()) {
                out << "preview failed: " << previewed.error << "\n";
                return std::nullopt;
            }

            session.execute(QStringLiteral("CHECKPOINT"));
            ResetPeakMemory();
            ChangeRun run(settings,
                          CaseChange{engineTable, fields, scenario.mode,
                                     scenario.exceptionWords ? ExceptionWords() : QStringList(),
                                     scenario.nameRules});
            QObject::connect(&run, &ChangeRun::finished,
                             [&](const ChangeRunSummary &s) { sample.summary = s; });
            clock.restart();
            const double cpuBefore = ProcessCpuSeconds();
            run.run();
            sample.engineSeconds = clock.nsecsElapsed() / 1e9;
            sample.engineCpuSeconds = ProcessCpuSeconds() - cpuBefore;
            sample.peak = PeakMemoryMiB();
            if (sample.summary.endedEarly) {
                out << "engine failed: " << sample.summary.firstError << "\n";
                return std::nullopt;
            }
            sample.rowUpdates = RowUpdates(session, QStringLiteral("bench_engine"));
            if (scenario.undo && !timeUndo(settings, sample, out))
                return std::nullopt;
            return sample;
        };
        // Prints one line: medians, the ratios' ranges, and the highest peaks.
        auto report = [&](const Scenario &scenario, qint64 rows, const QList<Sample> &samples) {
            Repeats engine, server, ratio, preview, previewRatio, undoRatio;
            double peak = 0, previewPeak = 0, undoPeak = 0;
            for (const Sample &s : samples) {
                undoRatio.add(s.undoSeconds / s.serverSeconds);
                undoPeak = qMax(undoPeak, s.undoPeak);
                engine.add(s.engineSeconds);
                server.add(s.serverSeconds);
                ratio.add(s.engineSeconds / s.serverSeconds);
                preview.add(s.previewSeconds);
                previewRatio.add(s.previewSeconds / s.serverSeconds);
                peak = qMax(peak, s.peak);
                previewPeak = qMax(previewPeak, s.previewPeak);
            }
            const ChangeRunSummary &last = samples.last().summary;
            out << rows << '\t' << scenario.label << '\t'
                << QString::number(engine.median(), 'f', 2) << '\t'
                << QString::number(server.median(), 'f', 2) << '\t' << ratio.summary() << '\t'
                << QString::number(peak, 'f', 1) << '\t'
                << QString::number(preview.median(), 'f', 2) << '\t' << previewRatio.summary()
                << '\t' << QString::number(previewPeak, 'f', 1) << "\t(rows written "
                << last.rowsWritten << ", values refused " << last.valuesNotWritten
                << ", server's row updates " << samples.last().rowUpdates << ", engine's own CPU "
                << QString::number(samples.last().engineCpuSeconds, 'f', 2) << " s)\n";
            if (scenario.undo)
                out << "\t\tundo of the run: ratio " << undoRatio.summary() << ", peak "
                    << QString::number(undoPeak, 'f', 1) << " MiB\n";
            out.flush();
        };
        // (i) and (j) take turns, round by round, so that other work on the machine weighs on
        // both alike; the ratio of (j) to (i) is taken round by round.
        auto rounds = [&](std::initializer_list<const Scenario *> turns, qint64 rows) {
            QList<QList<Sample>> samples(turns.size());
            for (int round = 0; round < Repeats::Count; ++round) {
                qsizetype k = 0;
                for (const Scenario *scenario : turns) {
                    const std::optional<Sample> sample = measure(*scenario, rows);
                    if (!sample)
                        return false;
                    samples[k++] << *sample;
                }
            }
            qsizetype k = 0;
            for (const Scenario *scenario : turns)
                report(*scenario, rows, samples[k++]);
            if (samples.size() == 2) {
                Repeats ratio;
                for (int round = 0; round < Repeats::Count; ++round)
                    ratio.add(samples[1][round].engineSeconds / samples[0][round].engineSeconds);
                out << "\t(j) against (i), round by round: " << ratio.summary() << "\n";
            }
            return true;
        };
        for (qint64 rows : sizes) {
            const Scenario *plainNames = nullptr;
            for (const Scenario &scenario : scenarios) {
                if (!wanted(scenario))
                    continue;
                if (scenario.label[1] == 'i' && cases.contains('j')) {
                    plainNames = &scenario; // runs with (j)
                    continue;
                }
                if (!(plainNames && scenario.nameRules ? rounds({plainNames, &scenario}, rows)
                                                       : rounds({&scenario}, rows)))
                    return 1;
            }
        }
        double writtenSeconds = 0;
        for (const Scenario &scenario : onceScenarios) {
            if (!wanted(scenario))
                continue;
            const std::optional<Sample> sample = measure(scenario, scenario.rows);
            if (!sample)
                return 1;
            report(scenario, scenario.rows, {*sample});
            if (!scenario.check)
                writtenSeconds = sample->engineSeconds;
            else if (writtenSeconds > 0)
                out << "\t(h) against (g): "
                    << QString::number(sample->engineSeconds / writtenSeconds, 'f', 2) << "\n";
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_engine, bench_server"));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    }
    return 0;
}
