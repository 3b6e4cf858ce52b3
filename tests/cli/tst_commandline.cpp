// The command line against the test server: the built program in a process of its own, with no
// display, and a home, settings file and journal folder of the test's own. Bad input and its
// exit codes, the password's sources, a change taken back byte for byte, a preview that counts
// what the change then writes, refused values, a row another client changes during a run, undos
// that cannot be made now, the driver's log, and Ctrl+C in the middle of a run.
#include "csvread.h"
#include "testdatabase.h"
#include "testkeyring.h"

#include "cli/commandline.h"
#include "cli/output.h"
#include "journal/changejournal.h"
#include "journal/journalreader.h"
#include "journal/runlock.h"
#include "settings/settingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <unistd.h>

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;

    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

// The rows of the fixture table as the server writes them, in one text: equal texts are equal
// bytes.
const QString PeopleText =
    QStringLiteral("SELECT coalesce(md5(string_agg(t::text, '|' ORDER BY id)), '') FROM "
                   "cli_test.people t");

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void tableNames_data();
    void tableNames();
    void terminalShowsNoControlCharacters();
    void commandsThatWriteNothing_data();
    void commandsThatWriteNothing();
    void passwordSources_data();
    void passwordSources();
    void changeThenUndoByteForByte();
    void previewCountsWhatTheChangeWrites_data();
    void previewCountsWhatTheChangeWrites();
    void refusedValuesEndWithThree();
    void rowChangedByAnotherClientIsLeftAndSaid();
    void superuserIsToldOfAnotherOwnersCode();
    void undoRefusesWhatItCannotTakeBack_data();
    void undoRefusesWhatItCannotTakeBack();
    void noDriverLogWithoutARuntimeFolder();
    void runsSaysWhatBecameOfEachRun();
    void wellWrittenValuesAreLeft();
    void exportedChangesReadBackExactly();
    void interruptLeavesEveryRowWhole();

private:
    QProcessEnvironment environment(const QStringList &extra = {}) const;
    Outcome run(const QStringList &arguments, const QStringList &extra = {}) const;
    QString peopleText() const { return TestDatabase::column(PeopleText).value(0); }

    QTemporaryDir home_;
};

void TestCommandLine::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    QVERIFY(home_.isValid());
    qputenv("XDG_CONFIG_HOME", home_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home_.filePath("data").toUtf8());
    QCOMPARE(TestDatabase::exec({"DROP SCHEMA IF EXISTS cli_test CASCADE", "CREATE SCHEMA cli_test",
                                 "CREATE VIEW cli_test.v AS SELECT 'x'::text AS x",
                                 "CREATE EXTENSION IF NOT EXISTS postgres_fdw",
                                 "DROP SERVER IF EXISTS cli_far CASCADE",
                                 "CREATE SERVER cli_far FOREIGN DATA WRAPPER postgres_fdw"
                                 " OPTIONS (host '127.0.0.1', port '1')",
                                 "CREATE FOREIGN TABLE cli_test.far (x text) SERVER cli_far"}),
             QString());
}

void TestCommandLine::init()
{
    QCOMPARE(TestDatabase::exec(
                 {"DROP TABLE IF EXISTS cli_test.people",
                  "CREATE TABLE cli_test.people (id int PRIMARY KEY, name text, "
                  "city varchar(40), tags text[], data jsonb)",
                  "INSERT INTO cli_test.people VALUES "
                  "(1, 'jOHN o''neil', 'new york', '{\"aB\",NULL,\"cd\"}', '{\"k\": 1}'), "
                  "(2, 'MCDONALD''S farm', 'NEW YORK', NULL, NULL), "
                  "(3, NULL, 'ΆΓΙΟΣ ΑΝΔΡΈΑΣ', '{}', NULL), "
                  "(4, 'straße', 'baf İLÇESI', '{\"x y\"}', NULL), "
                  "(5, 'Mary Smith', 'Paris', NULL, NULL)"}),
             QString());
    QDir(home_.filePath("data")).removeRecursively();
    QFile::remove(home_.filePath(".pgpass"));
    QVERIFY(TestDatabase::store());
    QVERIFY(SettingsStore::SaveExceptionWords({}));
}

QProcessEnvironment TestCommandLine::environment(const QStringList &extra) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display and no platform for windows: the program must need none. No session bus
    // either, as for a cron job, unless the test names one.
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PGPASSWORD",
                             "PGPASSFILE", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath("config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home_.filePath("data"));
    for (const QString &pair : extra)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    return env;
}

Outcome TestCommandLine::run(const QStringList &arguments, const QStringList &extra) const
{
    QProcess process;
    QStringList variables;
    for (const QString &pair : extra) {
        if (pair.startsWith(QLatin1String("@stdout=")))
            process.setStandardOutputFile(pair.section(u'=', 1));
        else
            variables << pair;
    }
    process.setProcessEnvironment(environment(variables));
    process.start(QStringLiteral(RECASOR_PROGRAM), arguments);
    process.closeWriteChannel(); // stdin is no terminal: nothing is asked
    Outcome outcome;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        outcome.err = QStringLiteral("<the program did not end>");
        return outcome;
    }
    outcome.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

void TestCommandLine::tableNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("name");
    QTest::newRow("bare name in public") << "people" << true << "public"
                                         << "people";
    QTest::newRow("schema.name") << "cli_test.people" << true << "cli_test"
                                 << "people";
    QTest::newRow("quoted part with a dot") << "\"a.b\".c" << true << "a.b"
                                            << "c";
    QTest::newRow("doubled quote") << "s.\"x\"\"y\"" << true << "s"
                                   << "x\"y";
    QTest::newRow("spaces kept") << "my table" << true << "public"
                                 << "my table";
    QTest::newRow("three parts") << "a.b.c" << false << ""
                                 << "";
    QTest::newRow("open quote") << "\"a.b" << false << ""
                                << "";
    QTest::newRow("empty part") << "a." << false << ""
                                << "";
    QTest::newRow("text after a quoted part") << "\"a\"b" << false << ""
                                              << "";
}

void TestCommandLine::tableNames()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<TableRef> table = CommandLine::ParseTableName(text);
    QCOMPARE(table.has_value(), valid);
    if (!valid)
        return;
    QFETCH(QString, schema);
    QFETCH(QString, name);
    QCOMPARE(table->schema, schema);
    QCOMPARE(table->name, name);
    // What the table list shows reads back as the same table.
    QCOMPARE(CommandLine::ParseTableName(table->displayName()), table);
}

// A table's name may hold what a terminal obeys: on a terminal it shows as "?".
void TestCommandLine::terminalShowsNoControlCharacters()
{
    QCOMPARE(Output::ForTerminal(QStringLiteral("a\x1b]0;title\x07"
                                                "b\r\n\tc\u0085\u009b2J d\u00e9")),
             QStringLiteral("a?]0;title?b?\n\tc??2J d\u00e9"));
}

void TestCommandLine::commandsThatWriteNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const auto change = [](const QStringList &more) {
        return QStringList{"change", "cli_test.people", "--field", "name"} + more;
    };
    QTest::newRow("help") << QStringList{"--help"} << QStringList() << 0 << QString();
    QTest::newRow("version") << QStringList{"--version"} << QStringList() << 0 << QString();
    QTest::newRow("help after a command") << change({"-h"}) << QStringList() << 0 << QString();
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << QStringList() << 2 << "Unknown option 'bogus'";
    QTest::newRow("unknown command")
        << QStringList{"rename"} << QStringList() << 2 << "unknown command";
    QTest::newRow("unknown mode") << change({"--mode", "title"}) << QStringList() << 2
                                  << "unknown mode \"title\"";
    QTest::newRow("no field") << QStringList{"change", "cli_test.people", "--mode", "upper"}
                              << QStringList() << 2 << "--field";
    QTest::newRow("option of another command")
        << change({"--mode", "upper", "--run", "1"}) << QStringList() << 2 << "does not take --run";
    QTest::newRow("list of kept values missing")
        << change({"--mode", "upper", "--keep-values-from", "@file/none"}) << QStringList() << 2
        << "--keep-values-from";
    QTest::newRow("condition on an undo") << QStringList{"undo", "--where", "id = 1"}
                                          << QStringList() << 2 << "does not take --where";
    QTest::newRow("empty condition") << change({"--mode", "upper", "--where", " "}) << QStringList()
                                     << 2 << "--where takes a condition";
    QTest::newRow("unknown language") << change({"--mode", "upper", "--language", "tr-TR"})
                                      << QStringList() << 2 << "unknown language \"tr-TR\"";
    QTest::newRow("condition the server refuses")
        << change({"--mode", "upper", "--where", "count(*) > 1"}) << QStringList() << 2
        << "The row condition was refused: ERROR: aggregate functions are not allowed";
    QTest::newRow("condition on an unknown column")
        << QStringList{"preview", "cli_test.people", "--field", "name",
                       "--mode",  "upper",           "--where", "nam = 'x'"}
        << QStringList() << 2 << "column \"nam\" does not exist";
    QTest::newRow("not a table name")
        << QStringList{"change", "a.b.c", "--field", "name", "--mode", "upper"} << QStringList()
        << 2 << "not a table name";
    QTest::newRow("unknown table")
        << QStringList{"change", "cli_test.nobody", "--field", "name", "--mode", "upper"}
        << QStringList() << 2 << "no table cli_test.nobody";
    QTest::newRow("system table") << QStringList{"change",  "pg_catalog.pg_class",
                                                 "--field", "relname",
                                                 "--mode",  "upper"}
                                  << QStringList() << 2 << "no table pg_catalog.pg_class";
    QTest::newRow("unknown field")
        << QStringList{"change", "cli_test.people", "--field", "nam", "--mode", "upper"}
        << QStringList() << 2 << "has no field \"nam\"";
    QTest::newRow("field not text") << change({"--field", "data", "--mode", "upper"})
                                    << QStringList() << 2 << "Left alone (not text): data (jsonb)";
    QTest::newRow("wrong password")
        << change({"--mode", "upper"}) << QStringList{"PGPASSWORD=not-the-password"} << 1
        << "password authentication failed";
    QTest::newRow("unreachable server")
        << change({"--mode", "upper", "--port", "1"}) << QStringList() << 1 << "could not connect";
    QTest::newRow("journal folder not writable")
        << change({"--mode", "upper"}) << QStringList{"XDG_DATA_HOME=@file/data"} << 1
        << "The journal could not be written";
    QTest::newRow("nothing to undo")
        << QStringList{"undo"} << QStringList() << 1 << "no change run of this database";
    QTest::newRow("no such run") << QStringList{"undo", "--run", "7"} << QStringList() << 2
                                 << "no run 7";
    for (const char *port : {"0", "70000", "abc"})
        QTest::addRow("port %s", port) << QStringList{"tables", "--port", port} << QStringList()
                                       << 2 << "--port takes a port number";
    QTest::newRow("a view") << QStringList{"change", "cli_test.v", "--field",
                                           "x",      "--mode",     "upper"}
                            << QStringList() << 2 << "cli_test.v is a view; Recasor changes tables";
    QTest::newRow("a foreign table")
        << QStringList{"fields", "cli_test.far"} << QStringList() << 2
        << "cli_test.far is a foreign table, whose rows live on another server";
    QTest::newRow("no display") << QStringList() << QStringList() << 2 << "need a display";
    QTest::newRow("stdout cannot be written")
        << QStringList{"tables"} << QStringList{"@stdout=/dev/full"} << 1
        << "write error: No space left on device";
}

void TestCommandLine::commandsThatWriteNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, extra);
    QFETCH(int, code);
    QFETCH(QString, message);
    // A plain file where the journal's folder would have to be made.
    QFile file(home_.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    extra.replaceInStrings(QStringLiteral("@file"), file.fileName());
    arguments.replaceInStrings(QStringLiteral("@file"), file.fileName());

    const QString before = peopleText();
    const Outcome outcome = run(arguments, extra);
    QCOMPARE(outcome.code, code);
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    // Only the program's own words: no warning of the driver's, and no counts of a run that
    // never had any.
    QVERIFY2(!outcome.err.contains("QODBC"), qPrintable(outcome.err));
    QVERIFY2(!outcome.out.contains(": 0\n"), qPrintable(outcome.out));
    if (code == 0)
        QVERIFY(outcome.out.startsWith(arguments.contains("--version") ? "recasor " : "Usage:"));
    QCOMPARE(peopleText(), before);
    QVERIFY(ChangeJournal::Runs().isEmpty());
    // A script reading --json gets one object with the same code, where stdout takes it.
    if (code == 0 || arguments.isEmpty() || !extra.filter("@stdout").isEmpty())
        return;
    const Outcome json = run(arguments + QStringList{"--json"}, extra);
    QCOMPARE(json.code, code);
    QCOMPARE(json.json().value("exitCode").toInt(-1), code);
    QVERIFY(json.json().value("error").toString().contains(message));
}

void TestCommandLine::passwordSources_data()
{
    QTest::addColumn<bool>("stored");         // the settings file holds the password
    QTest::addColumn<QString>("environment"); // PGPASSWORD
    QTest::addColumn<QString>("pgpass");      // the line of ~/.pgpass, @ for the password
    QTest::addColumn<int>("mode");            // of ~/.pgpass, and of the settings file
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    // The tests' keyring: "" none (no session bus), "@" the password, "wrong", "other" the
    // password under another database, "mute" a session bus that never answers.
    QTest::addColumn<QString>("keyring");
    const QString right = TestDatabase::settings().password;
    const QString exact =
        QStringLiteral("%1:%2:%3:%4:@")
            .arg(TestDatabase::settings().server, TestDatabase::settings().port,
                 TestDatabase::settings().database, TestDatabase::settings().user);
    QTest::newRow("settings file") << true << ""
                                   << "" << 0600 << 0 << ""
                                   << "";
    QTest::newRow("settings file others may read") << true << ""
                                                   << "" << 0644 << 0 << "settings file"
                                                   << "";
    QTest::newRow("PGPASSWORD before the settings file")
        << true << "wrong"
        << "" << 0600 << 1 << "password authentication failed"
        << "";
    QTest::newRow("PGPASSWORD") << false << right << "" << 0600 << 0 << ""
                                << "";
    QTest::newRow("password file") << false << "" << exact << 0600 << 0 << ""
                                   << "";
    QTest::newRow("password file with wildcards")
        << false << ""
        << "# a comment\n*:*:*:" + TestDatabase::settings().user + ":@" << 0600 << 0 << ""
        << "";
    QTest::newRow("password file of another user")
        << false << ""
        << "*:*:*:someone_else:@" << 0600 << 1 << "no password supplied"
        << "";
    QTest::newRow("password file others may read")
        << false << "" << exact << 0644 << 1 << "has group or world access"
        << "";
    QTest::newRow("password file before the settings file")
        << true << "" << QString(exact).replace("@", "wrong") << 0600 << 1
        << "password authentication failed"
        << "";
    QTest::newRow("none, and no terminal to ask on") << false << ""
                                                     << "" << 0600 << 1 << "no password supplied"
                                                     << "";
    QTest::newRow("keyring") << false << ""
                             << "" << 0600 << 0 << ""
                             << "@";
    QTest::newRow("keyring entry of another database") << false << ""
                                                       << "" << 0600 << 1 << "no password supplied"
                                                       << "other";
    QTest::newRow("keyring before the settings file")
        << true << ""
        << "" << 0600 << 1 << "password authentication failed"
        << "wrong";
    QTest::newRow("password file before the keyring") << false << "" << exact << 0600 << 0 << ""
                                                      << "wrong";
    QTest::newRow("PGPASSWORD before the keyring") << false << right << "" << 0600 << 0 << ""
                                                   << "wrong";
    QTest::newRow("keyring not answering")
        << true << ""
        << "" << 0600 << 0 << "the system keyring did not answer within 5 s"
        << "mute";
}

void TestCommandLine::passwordSources()
{
    QFETCH(bool, stored);
    QFETCH(QString, environment);
    QFETCH(QString, pgpass);
    QFETCH(int, mode);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, keyring);
    ConnectionSettings values = TestDatabase::settings();
    if (!stored)
        values.password.clear();
    QVERIFY(TestDatabase::store(values));
    if (!pgpass.isEmpty()) {
        QFile file(home_.filePath(".pgpass"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString(pgpass).replace("@", TestDatabase::settings().password).toUtf8() + "\n");
        file.close();
        QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (mode != 0600)
            permissions |= QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(file.fileName(), permissions));
    }
    const QString settings = SettingsStore::FilePath(SettingsKeys::Application);
    if (pgpass.isEmpty() && mode != 0600)
        QVERIFY(QFile::setPermissions(settings, QFile::permissions(settings) |
                                                    QFileDevice::ReadGroup |
                                                    QFileDevice::ReadOther));
    QStringList extra =
        environment.isEmpty() ? QStringList() : QStringList{"PGPASSWORD=" + environment};
    // The row's entry is in the tests' keyring while the program runs.
    std::optional<TestKeyring::Bus> bus;
    std::optional<TestKeyring::MuteBus> mute;
    KeyringAccount account = TestKeyring::accountOf(TestDatabase::settings());
    if (keyring == "mute") {
        mute.emplace(home_.filePath("mute-bus"));
        QVERIFY(!mute->address().isEmpty());
        extra << "DBUS_SESSION_BUS_ADDRESS=" + QString::fromLocal8Bit(mute->address());
    } else if (!keyring.isEmpty()) {
        REQUIRE_TEST_KEYRING();
        bus.emplace();
        if (keyring == "other")
            account.database += QStringLiteral("_other");
        QVERIFY(TestKeyring::put(account, keyring == "wrong" ? QStringLiteral("wrong")
                                                             : TestDatabase::settings().password));
        extra << "DBUS_SESSION_BUS_ADDRESS=" + qEnvironmentVariable("RECASOR_TEST_KEYRING_BUS");
    }
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = run({"tables"}, extra);
    const qint64 took = clock.elapsed();
    if (bus)
        QVERIFY(TestKeyring::put(account, QString()));
    QVERIFY(QFile::setPermissions(settings, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // A keyring that does not answer costs its limit and no more, with one line.
    if (mute) {
        QCOMPARE(outcome.err.count("keyring"), 1);
        QVERIFY2(took >= 5000 && took < 15000, qPrintable(QString::number(took)));
    }
    QCOMPARE(outcome.code, code);
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    // Each warning once, also when the driver's libpq would read the file again.
    QVERIFY2(outcome.err.count("WARNING") <= 1, qPrintable(outcome.err));
    if (code == 0)
        QVERIFY2(outcome.out.split(u'\n').contains("cli_test.people"), qPrintable(outcome.out));
}

void TestCommandLine::changeThenUndoByteForByte()
{
    QVERIFY(SettingsStore::SaveExceptionWords({"McDonald", "O'Neil"}));
    const QString before = peopleText();
    // A field given twice is changed once.
    const Outcome change =
        run({"change", "cli_test.people", "--field", "name", "--field", "city", "--field", "tags",
             "--field", "name", "--mode", "proper", "--json"});
    QCOMPARE(change.code, 0);
    const QJsonObject result = change.json();
    QCOMPARE(result.value("rowsRead").toInt(), 5);
    QCOMPARE(result.value("valuesChanged").toInt(), 9);
    QCOMPARE(result.value("rowsWritten").toInt(), 4); // a row once, with every field it changes
    QCOMPARE(result.value("valuesRefused").toInt(), 0);
    QCOMPARE(result.value("fields").toArray().size(), 3);
    // The stored word exceptions came along, as they do for the window's run.
    QCOMPARE(TestDatabase::column("SELECT name FROM cli_test.people ORDER BY id"),
             QStringList({"John O'Neil", "McDonald's Farm", "<null>", "Straße", "Mary Smith"}));
    QCOMPARE(TestDatabase::column("SELECT tags::text FROM cli_test.people WHERE id = 1"),
             QStringList({"{Ab,NULL,Cd}"}));
    QVERIFY(peopleText() != before);

    const QList<JournalRun> runs = ChangeJournal::Runs();
    QCOMPARE(runs.size(), 1);
    const Outcome list = run({"runs"});
    QCOMPARE(list.code, 0);
    QVERIFY2(list.out.contains(QString::number(runs[0].id) + u'\t'), qPrintable(list.out));

    const Outcome undo = run({"undo", "--run", QString::number(runs[0].id), "--json"});
    QCOMPARE(undo.code, 0);
    QCOMPARE(undo.json().value("rowsRestored").toInt(), 4);
    QCOMPARE(peopleText(), before);
    QVERIFY(ChangeJournal::Runs().value(0).undone);
    const Outcome again = run({"undo", "--run", QString::number(runs[0].id)});
    QCOMPARE(again.code, 1);
    QVERIFY2(again.err.contains("undone already"), qPrintable(again.err));
}

void TestCommandLine::previewCountsWhatTheChangeWrites_data()
{
    QTest::addColumn<QString>("mode");
    for (const char *mode : {"upper", "lower", "proper", "sentence"})
        QTest::newRow(mode) << mode;
}

void TestCommandLine::previewCountsWhatTheChangeWrites()
{
    QFETCH(QString, mode);
    const QStringList target = {"cli_test.people", "--field", "name",  "--field", "city",
                                "--mode",          mode,      "--json"};
    const Outcome preview = run(QStringList{"preview"} + target + QStringList{"--limit", "2"});
    QCOMPARE(preview.code, 0);
    qint64 changing = 0;
    for (const QJsonValue &field : preview.json().value("counts").toArray())
        changing += field.toObject().value("rowsChanging").toInteger();
    QVERIFY(preview.json().value("changes").toArray().size() <= 2);
    const Outcome change = run(QStringList{"change"} + target);
    QCOMPARE(change.code, 0);
    QCOMPARE(change.json().value("valuesChanged").toInteger(), changing);
}

void TestCommandLine::refusedValuesEndWithThree()
{
    QCOMPARE(TestDatabase::exec({"ALTER TABLE cli_test.people ADD CONSTRAINT no_paris "
                                 "CHECK (city <> 'PARIS')"}),
             QString());
    const Outcome change =
        run({"change", "cli_test.people", "--field", "city", "--mode", "upper", "--json"});
    QCOMPARE(change.code, 3);
    const QJsonObject result = change.json();
    QCOMPARE(result.value("valuesRefused").toInt(), 1);
    QCOMPARE(result.value("rowsRefused").toInt(), 1);
    QCOMPARE(result.value("rowsWritten").toInt() + result.value("rowsRefused").toInt(),
             result.value("rowsChanging").toInt());
    QCOMPARE(result.value("refusals").toArray().size(), 1);
    QVERIFY(result.value("error").toString().contains("no_paris"));
    QCOMPARE(TestDatabase::column("SELECT city FROM cli_test.people WHERE id = 5"),
             QStringList({"Paris"}));
    const Outcome text = run({"change", "cli_test.people", "--field", "city", "--mode", "upper"});
    QCOMPARE(text.code, 3);
    QVERIFY2(text.out.contains("1 row could not be written"), qPrintable(text.out));

    // A partition on a server that cannot be reached is named, and the command fails.
    QCOMPARE(TestDatabase::exec(
                 {"CREATE EXTENSION IF NOT EXISTS postgres_fdw",
                  "CREATE TABLE cli_test.sharded (id int, v text) PARTITION BY RANGE (id)",
                  "CREATE TABLE cli_test.sharded_here PARTITION OF cli_test.sharded"
                  " FOR VALUES FROM (0) TO (10)",
                  "INSERT INTO cli_test.sharded VALUES (1, 'here')",
                  "CREATE SERVER cli_down FOREIGN DATA WRAPPER postgres_fdw"
                  " OPTIONS (host '127.0.0.1', port '1', dbname 'gone')",
                  "CREATE USER MAPPING FOR CURRENT_USER SERVER cli_down",
                  "CREATE FOREIGN TABLE cli_test.sharded_far PARTITION OF cli_test.sharded"
                  " FOR VALUES FROM (10) TO (20) SERVER cli_down"}),
             QString());
    const Outcome sharded =
        run({"change", "cli_test.sharded", "--field", "v", "--mode", "upper", "--json"});
    QCOMPARE(TestDatabase::exec({"DROP TABLE cli_test.sharded", "DROP SERVER cli_down CASCADE"}),
             QString());
    QCOMPARE(sharded.code, 1);
    QCOMPARE(sharded.json().value("rowsWritten").toInteger(), 1);
    const QJsonArray left = sharded.json().value("relationsLeft").toArray();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].toObject().value("table").toString(), "\"cli_test\".\"sharded_far\"");
}

// Another client changes the last row and holds it while the run wants to write it: stderr says
// whose lock the run waits for, the row keeps the other client's value, and the run says so and
// ends with 3.
void TestCommandLine::rowChangedByAnotherClientIsLeftAndSaid()
{
    constexpr int Rows = 100000;
    QCOMPARE(TestDatabase::exec({"DROP TABLE IF EXISTS cli_test.race",
                                 "CREATE TABLE cli_test.race (id int PRIMARY KEY, name text)",
                                 QStringLiteral("INSERT INTO cli_test.race SELECT i, 'value ' || i "
                                                "FROM generate_series(1, %1) i")
                                     .arg(Rows)}),
             QString());
    QSqlDatabase other = TestDatabase::open();
    QCOMPARE(TestDatabase::exec(other, {"SET application_name = 'other client'", "BEGIN",
                                        QStringLiteral("UPDATE cli_test.race SET name = 'Changed "
                                                       "Elsewhere' WHERE id = %1")
                                            .arg(Rows)}),
             QString());
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(RECASOR_PROGRAM),
                  {"change", "cli_test.race", "--field", "name", "--mode", "upper", "--json"});
    QVERIFY(process.waitForStarted());
    QByteArray err;
    QElapsedTimer clock;
    clock.start();
    while (!err.contains("Waiting") && process.state() == QProcess::Running &&
           clock.elapsed() < 30000) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    QCOMPARE(TestDatabase::exec(other, {"COMMIT"}), QString());
    TestDatabase::close(other);
    QVERIFY(process.waitForFinished(60000));
    err += process.readAllStandardError();
    QVERIFY2(err.contains("for a lock on cli_test.race held by session ") &&
                 err.contains("application \"other client\"") && err.contains("Ctrl+C stops"),
             err.constData());
    QCOMPARE(process.exitCode(), 3);
    const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QCOMPARE(result.value("rowsLeftChanged").toInteger(), 1);
    QCOMPARE(result.value("rowsWritten").toInteger(), Rows - 1);
    QCOMPARE(result.value("rowsWritten").toInteger() + result.value("rowsLeftChanged").toInteger(),
             result.value("rowsChanging").toInteger());
    QCOMPARE(TestDatabase::column(
                 QStringLiteral("SELECT name FROM cli_test.race WHERE id = %1").arg(Rows)),
             QStringList{"Changed Elsewhere"});
}

// The test's user is a superuser; the table and its trigger belong to a role that is not. The
// run says so before it writes, and in its result.
void TestCommandLine::superuserIsToldOfAnotherOwnersCode()
{
    QCOMPARE(
        TestDatabase::exec(
            {"DROP TABLE IF EXISTS cli_test.owned", "DROP ROLE IF EXISTS cli_tenant",
             "CREATE ROLE cli_tenant", "GRANT USAGE, CREATE ON SCHEMA cli_test TO cli_tenant",
             "SET ROLE cli_tenant", "CREATE TABLE cli_test.owned (id int PRIMARY KEY, name text)",
             "INSERT INTO cli_test.owned VALUES (1, 'owned by another')", "RESET ROLE"}),
        QString());
    const Outcome change =
        run({"change", "cli_test.owned", "--field", "name", "--mode", "upper", "--json"});
    QCOMPARE(TestDatabase::exec(
                 {"DROP TABLE cli_test.owned", "DROP OWNED BY cli_tenant", "DROP ROLE cli_tenant"}),
             QString());
    QCOMPARE(change.code, 0);
    QVERIFY2(change.err.contains("Caution: cli_tenant (no superuser) owns this table or its "
                                 "triggers; they run with your superuser rights."),
             qPrintable(change.err));
    QCOMPARE(change.json().value("untrustedOwners").toArray(), QJsonArray{"cli_tenant"});
}

void TestCommandLine::undoRefusesWhatItCannotTakeBack_data()
{
    QTest::addColumn<QString>("journal"); // what becomes of the run's journal
    QTest::addColumn<bool>("named");      // the undo names the run
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("state"); // what `runs` says of the file
    QTest::newRow("the run goes on") << "goes on" << false << 1 << "is still going on (process "
                                     << "\tin progress";
    QTest::newRow("another undo goes on") << "undoing" << true << 1 << "is being undone (process "
                                          << "\tbeing undone";
    QTest::newRow("newest journal cannot be read")
        << "scrambled" << false << 1 << "the newest run's journal cannot be read"
        << "\tcannot be read: ";
    QTest::newRow("named journal cannot be read")
        << "emptied" << true << 1 << "journal cannot be read: "
        << "\tcannot be read: ";
    QTest::newRow("removed by the limit")
        << "removed" << true << 1 << "journal was removed when the 20-run limit was reached"
        << QString();
}

// A run of the table is on record; an undo of it writes nothing, and says why.
void TestCommandLine::undoRefusesWhatItCannotTakeBack()
{
    QFETCH(QString, journal);
    QFETCH(bool, named);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, state);
    QCOMPARE(run({"change", "cli_test.people", "--field", "name", "--mode", "upper"}).code, 0);
    const JournalRun last = ChangeJournal::Runs().value(0);
    std::optional<RunLock> lock;
    if (journal == "goes on" || journal == "undoing") {
        lock = RunLock::Take(last.file,
                             journal == "goes on" ? RunLock::Work::Run : RunLock::Work::Undo);
        QVERIFY(lock);
    } else if (journal == "removed") {
        QFile list(ChangeJournal::Folder() + "/removed-runs");
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(QByteArray::number(last.id) + '\n');
        list.close();
        QVERIFY(QFile::remove(last.file));
    } else {
        QFile file(last.file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (journal == "scrambled")
            file.write(QByteArray(8192, 'x'));
    }
    const QString before = peopleText();
    const Outcome undo =
        run(named ? QStringList{"undo", "--run", QString::number(last.id)} : QStringList{"undo"});
    QCOMPARE(undo.code, code);
    QVERIFY2(undo.err.contains(message), qPrintable(undo.err));
    QCOMPARE(peopleText(), before);
    const Outcome runs = run({"runs"});
    QCOMPARE(runs.code, 0);
    QVERIFY2(runs.out.contains(QString::number(last.id) + '\t') == !state.isEmpty(),
             qPrintable(runs.out));
    QVERIFY2(runs.out.contains(state), qPrintable(runs.out));
}

// Without a runtime folder, and with the usual one in /tmp taken by another user, the driver's
// entries are still the program's own, with the driver's logs off: no log of its statements and
// connection strings is left in /tmp.
void TestCommandLine::noDriverLogWithoutARuntimeFolder()
{
    if (::geteuid() != 0)
        QSKIP("Only root can leave the runtime folder's name to another user.");
    QTemporaryDir temp;
    const QString taken = temp.filePath(QStringLiteral("recasor-runtime-%1").arg(::getuid()));
    QVERIFY(QDir().mkpath(taken));
    QCOMPARE(::chown(QFile::encodeName(taken).constData(), 65534, 65534), 0);
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    const Outcome outcome = run({"tables"}, {"TMPDIR=" + temp.path(), "XDG_RUNTIME_DIR="});
    QCOMPARE(outcome.code, 0);
    QStringList logs;
    for (const QFileInfo &log :
         QDir(QStringLiteral("/tmp"))
             .entryInfoList({QStringLiteral("psqlodbc_recasor_*")}, QDir::Files)) {
        if (log.lastModified() >= started)
            logs << log.fileName();
    }
    QCOMPARE(logs, QStringList());
}

// runs names the database's runs only when asked with its connection values, and says of a run
// an undo took back in part how far it came.
void TestCommandLine::runsSaysWhatBecameOfEachRun()
{
    QCOMPARE(run({"change", "cli_test.people", "--field", "name", "--mode", "upper"}).code, 0);
    const JournalRun last = ChangeJournal::Runs().value(0);
    {
        JournalReader reader(last);
        const std::optional<JournalChunk> chunk = reader.next();
        QVERIFY(chunk);
        QVERIFY(reader.markUndone(chunk->seq, 1));
    }
    const Outcome all = run({"runs"});
    QCOMPARE(all.code, 0);
    QVERIFY2(all.out.contains(QStringLiteral("\tpartly undone (1 of %1 rows)")
                                  .arg(last.rowsRecorded + last.rowsPending)),
             qPrintable(all.out));
    const Outcome same = run({"runs", "--database", TestDatabase::settings().database, "--json"});
    QCOMPARE(same.code, 0);
    QCOMPARE(same.json().value("runs").toArray().size(), 1);
    const Outcome other = run({"runs", "--database", "another_one"});
    QCOMPARE(other.code, 0);
    QVERIFY2(other.out.startsWith("The journal holds no runs of another_one on "),
             qPrintable(other.out));
}

// Among values typed in capitals, those someone wrote in mixed case stay as written with
// --leave-mixed-case; a value kept by name stays too; the journal and runs say so.
void TestCommandLine::wellWrittenValuesAreLeft()
{
    const QStringList wellWritten{"McDonald's",     "iPhone 15", "IBM Research", "van Gogh",
                                  "MacBook Pro",    "eBay",      "PayPal",       "AT&T",
                                  "NASA Ames",      "YouTube",   "LinkedIn",     "GitHub",
                                  "O'Reilly Media", "da Vinci",  "PostgreSQL",   "JavaScript",
                                  "DiCaprio",       "MySQL",     "iPad Air",     "FedEx"};
    QStringList rows;
    for (int i = 0; i < wellWritten.size(); ++i)
        rows << QStringLiteral("(%1, '%2')")
                    .arg(i + 1001)
                    .arg(QString(wellWritten[i]).replace(u'\'', QStringLiteral("''")));
    QCOMPARE(TestDatabase::exec({"DROP TABLE IF EXISTS cli_test.brands",
                                 "CREATE TABLE cli_test.brands (id int PRIMARY KEY, name text, "
                                 "orig text)",
                                 "INSERT INTO cli_test.brands SELECT i, 'CUSTOMER ' || i || ' OF "
                                 "NEW YORK' FROM generate_series(1, 1000) i",
                                 "INSERT INTO cli_test.brands (id, name) VALUES " + rows.join(','),
                                 "UPDATE cli_test.brands SET orig = name"}),
             QString());
    const QStringList change{"change",
                             "cli_test.brands",
                             "--field",
                             "name",
                             "--mode",
                             "proper",
                             "--leave-mixed-case",
                             "--keep-value",
                             "CUSTOMER 7 OF NEW YORK"};
    const Outcome preview =
        run(QStringList(change).replaceInStrings("change", "preview") + QStringList{"--json"});
    QCOMPARE(preview.code, 0);
    const Outcome outcome = run(change + QStringList{"--json"});
    QCOMPARE(outcome.code, 0);
    QCOMPARE(outcome.json().value("valuesLeftMixed").toInteger(), 19);
    QCOMPARE(outcome.json().value("valuesKept").toInteger(), 1);
    QCOMPARE(TestDatabase::column("SELECT name FROM cli_test.brands WHERE name = orig ORDER BY "
                                  "id"),
             QStringList{"CUSTOMER 7 OF NEW YORK"} +
                 QStringList(wellWritten)
                     .replaceInStrings(QStringLiteral("AT&T"), QString())
                     .filter(QRegularExpression(".")));
    QCOMPARE(
        TestDatabase::column("SELECT name FROM cli_test.brands WHERE id IN (1, 1008) ORDER BY id"),
        (QStringList{"Customer 1 Of New York", "At&t"}));
    // The preview counts what the change leaves.
    const QJsonObject field = preview.json().value("counts").toArray().at(0).toObject();
    QCOMPARE(field.value("valuesLeftMixed").toInteger(), 19);
    QCOMPARE(field.value("valuesKept").toInteger(), 1);

    const Outcome runs = run({"runs", "--json"});
    const QJsonObject recorded = runs.json().value("runs").toArray().at(0).toObject();
    QVERIFY(recorded.value("leaveMixedCase").toBool());
    QCOMPARE(recorded.value("keptValues").toArray(), QJsonArray({"CUSTOMER 7 OF NEW YORK"}));
    QVERIFY2(run({"runs"}).out.contains("\tmixed case left, 1 value kept\t"),
             qPrintable(run({"runs"}).out));
    // Without the option, the stored setting holds; here it is off, and every value changes.
    QCOMPARE(run({"undo"}).code, 0);
    QCOMPARE(run({"change", "cli_test.brands", "--field", "name", "--mode", "proper"}).code, 0);
    QCOMPARE(TestDatabase::column("SELECT count(*) FROM cli_test.brands WHERE name = orig"),
             QStringList{"0"});

    // Only the rows a condition picks; the journal and runs keep it.
    QCOMPARE(run({"undo"}).code, 0);
    const Outcome picked = run({"change", "cli_test.brands", "--field", "name", "--mode", "lower",
                                "--where", "id > 995 AND id <= 1002", "--json"});
    QCOMPARE(picked.code, 0);
    QCOMPARE(picked.json().value("rowsWritten").toInteger(), 7);
    QCOMPARE(picked.json().value("condition").toString(), "id > 995 AND id <= 1002");
    QCOMPARE(TestDatabase::column("SELECT string_agg(id::text, ',' ORDER BY id) FROM "
                                  "cli_test.brands WHERE name <> orig"),
             QStringList{"996,997,998,999,1000,1001,1002"});
    QVERIFY2(run({"runs"}).out.contains("\tonly rows where id > 995 AND id <= 1002\t"),
             qPrintable(run({"runs"}).out));

    // The rules of a language, recorded with the run.
    QCOMPARE(
        TestDatabase::exec({"UPDATE cli_test.brands SET name = 'diyarbakır ili' WHERE id = 1"}),
        QString());
    const Outcome turkish = run({"change", "cli_test.brands", "--field", "name", "--mode", "upper",
                                 "--where", "id = 1", "--language", "tr", "--json"});
    QCOMPARE(turkish.code, 0);
    QCOMPARE(turkish.json().value("language").toString(), "tr");
    QCOMPARE(TestDatabase::column("SELECT name FROM cli_test.brands WHERE id = 1"),
             QStringList{"DİYARBAKIR İLİ"});
    QCOMPARE(
        run({"runs", "--json"}).json().value("runs").toArray().at(0).toObject().value("language"),
        "tr");
}

void TestCommandLine::exportedChangesReadBackExactly()
{
    // Values with commas, quotes, line breaks and other scripts; Python's csv module reads the
    // export back, and every line is a value the run wrote, old and new, as the server holds it.
    QCOMPARE(TestDatabase::exec(
                 {"DROP TABLE IF EXISTS cli_test.exported",
                  "CREATE TABLE cli_test.exported (id int PRIMARY KEY, v text, orig text)",
                  "INSERT INTO cli_test.exported (id, v) VALUES (1, 'a,b'), (2, 'say \"hi\"'),"
                  " (3, E'two\\nlines\\r\\nand more'), (4, 'straße, κόσμε'), (5, '=sum(a1)'),"
                  " (6, ' lead'), (7, 'SAME')",
                  "UPDATE cli_test.exported SET orig = v"}),
             QString());
    QCOMPARE(run({"change", "cli_test.exported", "--field", "v", "--mode", "upper"}).code, 0);
    const QString id = run({"runs", "--json"})
                           .json()
                           .value("runs")
                           .toArray()
                           .at(0)
                           .toObject()
                           .value("id")
                           .toString();
    const QString path = home_.filePath("changes.csv");
    const Outcome exported = run({"runs", "--export", id, path});
    QCOMPARE(exported.code, 0);
    QString failure;
    const QList<QStringList> rows = ReadCsvWithPython(path, &failure);
    QVERIFY2(!rows.isEmpty(), qPrintable(failure));
    QCOMPARE(rows.at(0), (QStringList{"identity", "field", "old value", "new value", "state"}));
    QStringList lines;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        QCOMPARE(rows.at(i).size(), 5);
        lines << rows.at(i).mid(1).join(u'|');
    }
    lines.sort();
    QStringList expected = TestDatabase::column(
        "SELECT 'v|' || orig || '|' || v || '|written' FROM cli_test.exported WHERE v <> orig");
    expected.sort();
    QCOMPARE(lines, expected);
    QCOMPARE(run({"runs", "--export", "999", path}).code, 2);
}

void TestCommandLine::interruptLeavesEveryRowWhole()
{
    constexpr int Rows = 200000;
    QCOMPARE(TestDatabase::exec({"DROP TABLE IF EXISTS cli_test.big",
                                 "CREATE TABLE cli_test.big (id int PRIMARY KEY, name text, "
                                 "orig text)",
                                 QStringLiteral("INSERT INTO cli_test.big SELECT i, 'value number "
                                                "' || i, 'value number ' || i FROM "
                                                "generate_series(1, %1) i")
                                     .arg(Rows)}),
             QString());
    // Another client holds the last row, so that the run cannot end before the interrupt.
    QSqlDatabase holder = TestDatabase::open();
    QCOMPARE(TestDatabase::exec(holder, {"BEGIN", QStringLiteral("SELECT 1 FROM cli_test.big WHERE"
                                                                 " id = %1 FOR UPDATE")
                                                      .arg(Rows)}),
             QString());
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(RECASOR_PROGRAM),
                  {"change", "cli_test.big", "--field", "name", "--mode", "upper", "--json"});
    QVERIFY(process.waitForStarted());
    // The first progress line says the run is writing; Ctrl+C then.
    QByteArray err;
    while (!err.contains("Progress:") && process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
    QVERIFY(process.waitForFinished(60000));
    TestDatabase::close(holder);
    err += process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains("was stopped") && err.contains("recasor undo"), err.constData());
    const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QVERIFY(result.value("stopped").toBool());
    const qint64 written = result.value("rowsWritten").toInteger();
    QVERIFY2(written > 0 && written < Rows, qPrintable(QString::number(written)));

    // Every row is either old or converted, the rows converted are those the run says it wrote,
    // and the journal holds exactly those.
    QCOMPARE(TestDatabase::column("SELECT count(*) FROM cli_test.big WHERE name <> orig AND "
                                  "name <> upper(orig)"),
             QStringList({"0"}));
    QCOMPARE(TestDatabase::column("SELECT count(*) FROM cli_test.big WHERE name <> orig"),
             QStringList({QString::number(written)}));
    QCOMPARE(ChangeJournal::Runs().value(0).rowsRecorded, written);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
