// Times the command line's change run (the program run as `recasor change`, start to exit)
// against the window's (the same job on the one runner the window uses, in this process), on
// identical tables, taking turns, so that a script pays nothing that shows for having no window.
//
//   command_line [rows]        default: 1000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE. Each
// round makes two fresh tables of 40-character values with a primary key (id) and a second,
// indexed column, converts every value to capitals, once each way; five rounds, medians and the
// range of the ratio.
#include "db/dbsession.h"
#include "jobs/workerthread.h"
#include "repeat.h"
#include "run/changerun.h"
#include "serverenvironment.h"
#include "serversettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

void MakeTable(DbSession &session, const QString &name, qint64 rows)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    session.execute(
        QStringLiteral("CREATE TABLE %1 (id bigint PRIMARY KEY, f text, other integer)").arg(name));
    session.execute(QStringLiteral("INSERT INTO %1 SELECT i, md5(i::text) || lpad(i::text, 8, "
                                   "'0'), i % 1000 FROM generate_series(1, %2) i")
                        .arg(name)
                        .arg(rows));
    session.execute(QStringLiteral("CREATE INDEX ON %1 (other)").arg(name));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
    session.execute(QStringLiteral("CHECKPOINT"));
}

// The window's way: the job on a WorkerThread, its end coming back through the event loop.
qint64 WindowRun(const ConnectionSettings &settings, const QString &table)
{
    WorkerThread<ChangeRun> runner;
    QEventLoop loop;
    ChangeRunSummary summary;
    QElapsedTimer clock;
    clock.start();
    runner.adopt(new ChangeRun(settings, CaseChange{{QStringLiteral("public"), table},
                                                    {QStringLiteral("f")},
                                                    CaseMode::Upper,
                                                    {}}),
                 nullptr);
    runner.forward(&ChangeRun::finished, &loop, [&](const ChangeRunSummary &ended) {
        summary = ended;
        loop.quit();
    });
    runner.start();
    loop.exec();
    runner.release();
    const qint64 ns = clock.nsecsElapsed();
    return summary.endedEarly ? -1 : ns;
}

// The command line's way: the program, from its start to its exit.
qint64 CommandLineRun(const ConnectionSettings &settings, const QString &table,
                      const QTemporaryDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("PGPASSWORD"), settings.password);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(RECASOR_PROGRAM),
                  {QStringLiteral("change"), table, QStringLiteral("--field"), QStringLiteral("f"),
                   QStringLiteral("--mode"), QStringLiteral("upper"), QStringLiteral("--host"),
                   settings.server, QStringLiteral("--port"), settings.port,
                   QStringLiteral("--user"), settings.user, QStringLiteral("--database"),
                   settings.database});
    process.closeWriteChannel();
    if (!process.waitForFinished(-1))
        return -1;
    const qint64 ns = clock.nsecsElapsed();
    process.readAllStandardOutput();
    return process.exitCode() == 0 ? ns : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Both ways journal into the benchmark's own folder, not the user's.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const ConnectionSettings settings = ServerFromEnvironment();
    QTextStream out(stdout);
    try {
        DbSession session(settings, {15, 0});
        // The benchmark's own tables are in public, which a session of the program's leaves
        // out of its search path.
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        out << "server: " << ServerSettingsLine(session) << "\n";
        out << "rows\twindow s\tcommand line s\tratio (range)\n";
        out.flush();
        Repeats window, commandLine, ratio;
        for (int round = 0; round < Repeats::Count; ++round) {
            MakeTable(session, QStringLiteral("bench_window"), rows);
            MakeTable(session, QStringLiteral("bench_cli"), rows);
            // Turns: neither way always runs on the table made last.
            qint64 windowNs = 0, cliNs = 0;
            if (round % 2 == 0) {
                windowNs = WindowRun(settings, QStringLiteral("bench_window"));
                session.execute(QStringLiteral("CHECKPOINT"));
                cliNs = CommandLineRun(settings, QStringLiteral("bench_cli"), home);
            } else {
                cliNs = CommandLineRun(settings, QStringLiteral("bench_cli"), home);
                session.execute(QStringLiteral("CHECKPOINT"));
                windowNs = WindowRun(settings, QStringLiteral("bench_window"));
            }
            if (windowNs < 0 || cliNs < 0) {
                out << "a run failed\n";
                return 1;
            }
            window.add(windowNs / 1e9);
            commandLine.add(cliNs / 1e9);
            ratio.add(double(cliNs) / windowNs);
        }
        out << rows << '\t' << QString::number(window.median(), 'f', 2) << '\t'
            << QString::number(commandLine.median(), 'f', 2) << '\t' << ratio.summary() << "\n";
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_window, bench_cli"));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    }
    return 0;
}
