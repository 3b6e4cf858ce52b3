// Times one change run three ways on identical tables, taking turns, so that neither a script nor
// the window pays for what the other lacks:
//   runner        the job on the one runner the window and the command line use, in this process,
//                 with no window: what the run itself costs;
//   command line  the program run as `recasor change`, from its start to its exit;
//   window        the main window itself (offscreen), from the click on "Start Changing" to the
//                 end of the run with the window's status line, preview and messages done.
//
//   command_line [rows]        default: 1000000
//
// Connection values come from RECASOR_TEST_SERVER, _PORT, _USER, _PASSWORD, _DATABASE. Each
// round makes fresh tables of 40-character values with a primary key (id) and a second, indexed
// column, and converts every value to capitals, in one field and then in three; five rounds,
// medians and the range of the ratios of the command line to the runner and of the window to the
// command line.
#include "app/windowflow.h"
#include "db/dbsession.h"
#include "jobs/workerthread.h"
#include "repeat.h"
#include "run/changerun.h"
#include "serverenvironment.h"
#include "serversettings.h"
#include "settings/settingsstore.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

namespace {

const QStringList ThreeFields = {QStringLiteral("f"), QStringLiteral("g"), QStringLiteral("h")};

void MakeTable(DbSession &session, const QString &name, qint64 rows)
{
    session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name));
    session.execute(
        QStringLiteral("CREATE TABLE %1 (id bigint PRIMARY KEY, f text, g text, h text, other "
                       "integer)")
            .arg(name));
    session.execute(QStringLiteral("INSERT INTO %1 SELECT i, md5(i::text) || lpad(i::text, 8, "
                                   "'0'), md5('g' || i) || lpad(i::text, 8, '0'), md5('h' || i) "
                                   "|| lpad(i::text, 8, '0'), i % 1000 "
                                   "FROM generate_series(1, %2) i")
                        .arg(name)
                        .arg(rows));
    session.execute(QStringLiteral("CREATE INDEX ON %1 (other)").arg(name));
    session.execute(QStringLiteral("VACUUM ANALYZE %1").arg(name));
    session.execute(QStringLiteral("CHECKPOINT"));
}

// The runner's way: the job on a WorkerThread, its end coming back through the event loop.
qint64 RunnerRun(const ConnectionSettings &settings, const QString &table,
                 const QStringList &fields)
{
    WorkerThread<ChangeRun> runner;
    QEventLoop loop;
    ChangeRunSummary summary;
    QElapsedTimer clock;
    clock.start();
    runner.adopt(
        new ChangeRun(settings,
                      CaseChange{{QStringLiteral("public"), table}, fields, CaseMode::Upper}),
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
                      const QStringList &fields, const QTemporaryDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("PGPASSWORD"), settings.password);
    QStringList arguments = {QStringLiteral("change"), table};
    for (const QString &field : fields)
        arguments << QStringLiteral("--field") << field;
    arguments << QStringLiteral("--mode") << QStringLiteral("upper") << QStringLiteral("--host")
              << settings.server << QStringLiteral("--port") << settings.port
              << QStringLiteral("--user") << settings.user << QStringLiteral("--database")
              << settings.database;
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(RECASOR_PROGRAM), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(-1))
        return -1;
    const qint64 ns = clock.nsecsElapsed();
    process.readAllStandardOutput();
    return process.exitCode() == 0 ? ns : -1;
}

// The window says nothing to anyone: a box would wait for a click.
class QuietMessages : public Messages
{
public:
    void info(const QString &) override {}
    void infoWithDetails(const QString &, const QString &) override {}
    bool confirm(const QString &, const QString &) override { return true; }
    Unsaved askToSave(const QString &) override { return Unsaved::Discard; }
    void report(const QString &, const QString &, int, const QString &failure) override
    {
        failures << failure;
    }
    QStringList failures;
};

// The window's way: the table and the fields picked in the main window, then "Start Changing",
// timed to the window's end of the run.
qint64 WindowRun(MainWindow &window, QuietMessages &messages, const QString &table,
                 const QStringList &fields)
{
    auto *tables = window.findChild<QTreeWidget *>(QStringLiteral("ListView1"));
    auto *fieldList = window.findChild<QTreeWidget *>(QStringLiteral("ListView2"));
    window.load(); // the tables as they are now
    const QList<QTreeWidgetItem *> found = tables->findItems(table, Qt::MatchExactly);
    if (found.isEmpty())
        return -1;
    tables->setCurrentItem(found.first());
    window.listFields();
    fieldList->clearSelection();
    for (const QString &field : fields)
        for (QTreeWidgetItem *item : fieldList->findItems(field, Qt::MatchExactly))
            item->setSelected(true);
    messages.failures.clear();
    QEventLoop loop;
    QObject::connect(&window, &MainWindow::changeRunEnded, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("PushButton1"))->click();
    loop.exec();
    const qint64 ns = clock.nsecsElapsed();
    return messages.failures.isEmpty() ? ns : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Every way journals into the benchmark's own folder and reads its own settings.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const ConnectionSettings settings = ServerFromEnvironment();
    for (const auto &[key, value] : {std::pair{SettingsKeys::Server, settings.server},
                                     std::pair{SettingsKeys::Port, settings.port},
                                     std::pair{SettingsKeys::User, settings.user},
                                     std::pair{SettingsKeys::Password, settings.password},
                                     std::pair{SettingsKeys::Database, settings.database}})
        SettingsStore::Save(SettingsKeys::Application, SettingsKeys::Section, key, value);
    QTextStream out(stdout);
    try {
        DbSession session(settings, {15, 0});
        // The benchmark's own tables are in public, which a session of the program's leaves
        // out of its search path.
        session.execute(QStringLiteral("SET search_path = public, pg_catalog"));
        QuietMessages messages;
        WindowFlow flow(messages);
        flow.start();
        MainWindow *window = flow.mainWindow();
        if (!window) {
            out << "the main window did not open\n";
            return 1;
        }
        out << "server: " << ServerSettingsLine(session) << "\n";
        out << "fields\trows\trunner s\tcommand line s\twindow s\tcommand line / runner (range)"
               "\twindow / command line (range)\n";
        out.flush();
        for (const QStringList &fields : {QStringList{QStringLiteral("f")}, ThreeFields}) {
            Repeats runner, commandLine, windowTimes, cliRatio, windowRatio;
            for (int round = 0; round < Repeats::Count; ++round) {
                const QStringList tables = {QStringLiteral("bench_runner"),
                                            QStringLiteral("bench_cli"),
                                            QStringLiteral("bench_window")};
                for (const QString &table : tables)
                    MakeTable(session, table, rows);
                // Turns: no way always runs on the table made last.
                qint64 ns[3] = {0, 0, 0};
                for (int k = 0; k < 3; ++k) {
                    const int way = (round + k) % 3;
                    if (way == 0)
                        ns[0] = RunnerRun(settings, tables[0], fields);
                    else if (way == 1)
                        ns[1] = CommandLineRun(settings, tables[1], fields, home);
                    else
                        ns[2] = WindowRun(*window, messages, tables[2], fields);
                    session.execute(QStringLiteral("CHECKPOINT"));
                }
                if (ns[0] < 0 || ns[1] < 0 || ns[2] < 0) {
                    out << "a run failed\n";
                    return 1;
                }
                runner.add(ns[0] / 1e9);
                commandLine.add(ns[1] / 1e9);
                windowTimes.add(ns[2] / 1e9);
                cliRatio.add(double(ns[1]) / ns[0]);
                windowRatio.add(double(ns[2]) / ns[1]);
            }
            out << fields.size() << '\t' << rows << '\t' << QString::number(runner.median(), 'f', 2)
                << '\t' << QString::number(commandLine.median(), 'f', 2) << '\t'
                << QString::number(windowTimes.median(), 'f', 2) << '\t' << cliRatio.summary()
                << '\t' << windowRatio.summary() << "\n";
            out.flush();
        }
        session.execute(QStringLiteral("DROP TABLE IF EXISTS bench_runner, bench_cli, "
                                       "bench_window"));
    } catch (const DbError &error) {
        out << "failed: " << error.text() << "\n";
        return 1;
    }
    return 0;
}
