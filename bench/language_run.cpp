// Times a change run by the rules of each language against the same run by Any Language, on
// fresh identical tables of names of real places of that language (two to a value), and prints
// the medians, the ratio's range and the peak memory. The values are written in the case
// opposite to the mode (in small letters for UPPER and Proper Case, in capitals for lower case),
// so that both runs write every row and the ratio is the cost of the rules alone.
//
//   language_run [rows [rounds]]        default: 1000000 rows, 3 rounds
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE. Each
// language is run in the mode where its rules do most: UPPER CASE for Turkish, Azerbaijani,
// Greek and German, lower case for Lithuanian, Proper Case for Dutch.
#include "db/dbsession.h"
#include "db/sqlquote.h"
#include "peakmemory.h"
#include "placenames.h"
#include "repeat.h"
#include "run/changerun.h"
#include "serverenvironment.h"
#include "serversettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <stdexcept>

namespace {

void makeTable(DbSession &session, const QStringList &names, qint64 rows, CaseMode mode)
{
    QStringList literals;
    for (const QString &name : names)
        literals << QuoteLiteral(name);
    const QString n = QString::number(names.size());
    session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_language"));
    session.execute(
        QStringLiteral("CREATE TABLE bench_language (id bigint PRIMARY KEY, name text)"));
    session.execute(
        QStringLiteral("INSERT INTO bench_language SELECT i, %4(v) FROM (SELECT i, a[1 + i % %1]"
                       " || ' ' || a[1 + (i * 7 / 3) % %1] AS v FROM generate_series(1, %2) i,"
                       " (SELECT ARRAY[%3] AS a) AS names) AS s")
            .arg(n, QString::number(rows), literals.join(u','),
                 mode == CaseMode::Lower ? QStringLiteral("upper") : QStringLiteral("lower")));
    session.execute(QStringLiteral("VACUUM ANALYZE bench_language"));
    session.execute(QStringLiteral("CHECKPOINT"));
}

double timedRun(const ConnectionSettings &settings, CaseMode mode, CaseLanguage language,
                double &peak, qint64 &written)
{
    CaseChange change{{QStringLiteral("public"), QStringLiteral("bench_language")},
                      {QStringLiteral("name")},
                      mode};
    change.language = language;
    ChangeRunSummary summary;
    ResetPeakMemory();
    QElapsedTimer clock;
    clock.start();
    ChangeRun run(settings, change);
    QObject::connect(&run, &ChangeRun::finished, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    const double seconds = clock.nsecsElapsed() / 1e9;
    peak = qMax(peak, PeakMemoryMiB());
    if (summary.endedEarly)
        throw std::runtime_error(summary.firstError.toStdString());
    written = summary.rowsWritten;
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const ConnectionSettings settings = ServerFromEnvironment();
    QTextStream out(stdout);
    const struct {
        CaseLanguage language;
        CaseMode mode;
        const QStringList &names;
    } cases[] = {{CaseLanguage::Turkish, CaseMode::Upper, PlaceNames::Turkish},
                 {CaseLanguage::Azerbaijani, CaseMode::Upper, PlaceNames::Azerbaijani},
                 {CaseLanguage::Greek, CaseMode::Upper, PlaceNames::Greek},
                 {CaseLanguage::Dutch, CaseMode::Proper, PlaceNames::Dutch},
                 {CaseLanguage::Lithuanian, CaseMode::Lower, PlaceNames::Lithuanian},
                 {CaseLanguage::German, CaseMode::Upper, PlaceNames::German}};
    try {
        DbSession session(settings, {15, 0});
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        out << "server: " << ServerSettingsLine(session) << ", " << rounds << " rounds\n";
        out << "rows\tlanguage\tmode\tAny s\tlanguage s\tratio (range)\trows written (Any, "
               "language)\tpeak MiB\n";
        out.flush();
        for (const auto &c : cases) {
            Repeats any, language, ratio;
            double peak = 0;
            qint64 anyWritten = 0, languageWritten = 0;
            for (int round = 0; round < rounds; ++round) {
                makeTable(session, c.names, rows, c.mode);
                const double anySeconds =
                    timedRun(settings, c.mode, CaseLanguage::Any, peak, anyWritten);
                makeTable(session, c.names, rows, c.mode);
                const double languageSeconds =
                    timedRun(settings, c.mode, c.language, peak, languageWritten);
                any.add(anySeconds);
                language.add(languageSeconds);
                ratio.add(languageSeconds / anySeconds);
            }
            out << rows << '\t' << CaseLanguageOf(c.language).code << '\t'
                << CaseModeOf(c.mode).word << '\t' << QString::number(any.median(), 'f', 2) << '\t'
                << QString::number(language.median(), 'f', 2) << '\t' << ratio.summary() << '\t'
                << anyWritten << ", " << languageWritten << '\t' << QString::number(peak, 'f', 1)
                << "\n";
            out.flush();
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_language"));
    } catch (const std::exception &error) {
        out << "failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
