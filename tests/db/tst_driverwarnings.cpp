// The driver's warnings against the test server: no failed statement, whether the program
// handles it (its own stop, a refused value, a retried conflict) or reports it (a table that is
// not there, a lost connection), writes a warning of the driver's to the terminal, and every
// other message still goes there. A recording message handler stands behind the filtering one,
// where the terminal's would be.
#include "casing/caserules.h"
#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/driverwarnings.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"
#include "journalledrun.h"
#include "run/changerun.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <mutex>
#include <thread>
#include <utility>

namespace {

std::mutex recordedMutex;
QStringList recorded;
QtMessageHandler terminal = nullptr;

void record(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtWarningMsg) {
        std::lock_guard lock(recordedMutex);
        recorded << text;
    }
    terminal(type, context, text);
}

QStringList takeRecorded()
{
    std::lock_guard lock(recordedMutex);
    return std::exchange(recorded, {});
}

QStringList driverWarnings()
{
    return takeRecorded().filter(QStringLiteral("QODBC"));
}

} // namespace

class TestDriverWarnings : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void otherMessagesGoOn();
    void failedStatements_data();
    void failedStatements();
    void stopsOfTheProgramAreQuiet();
    void runAndUndoSayNothingOfRefusedValues();

private:
    QTemporaryDir data_; // the journal's folder
};

void TestDriverWarnings::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    terminal = qInstallMessageHandler(record);
    DriverWarnings::Install();
    exec({"DROP SCHEMA IF EXISTS hw CASCADE", "CREATE SCHEMA hw"});
}

void TestDriverWarnings::cleanupTestCase()
{
    exec({"DROP SCHEMA IF EXISTS hw CASCADE"});
    qInstallMessageHandler(terminal);
}

void TestDriverWarnings::otherMessagesGoOn()
{
    takeRecorded();
    qWarning("first");
    std::thread([] { qWarning("another thread"); }).join();
    qWarning("QODBC's name inside is no driver's warning");
    QCOMPARE(takeRecorded(), (QStringList{"first", "another thread",
                                          "QODBC's name inside is no driver's warning"}));
}

void TestDriverWarnings::failedStatements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("timeout");
    const QString missing = QStringLiteral("DELETE FROM hw.no_such_table WHERE 1 = ?");
    QTest::newRow("table that is not there") << missing << QVariantList{1} << 0;
    QTest::newRow("refused value") << "SELECT 1 / ?" << QVariantList{0} << 0;
    QTest::newRow("statement time-out") << "SELECT pg_sleep(?)" << QVariantList{30} << 1;
    QTest::newRow("lost connection")
        << "SELECT pg_terminate_backend(pg_backend_pid()) AND ?" << QVariantList{true} << 0;
    QTest::newRow("no failure") << "SELECT ?" << QVariantList{1} << 0;
}

// The statement's failure comes back as a DbError with the server's text; the driver writes
// nothing.
void TestDriverWarnings::failedStatements()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QFETCH(int, timeout);
    DbSession::Options options;
    options.statementTimeout = timeout;
    DbSession session(TestDatabase::settings(), options);
    takeRecorded();
    QString failure;
    try {
        session.exec(sql, values);
    } catch (const DbError &error) {
        failure = error.text();
    }
    QCOMPARE(failure.isEmpty(), QString(QTest::currentDataTag()) == "no failure");
    QCOMPARE(driverWarnings(), QStringList());
}

void TestDriverWarnings::stopsOfTheProgramAreQuiet()
{
    // A statement of a task's cancel group, as the stop of a run, a preview or an undo ends it.
    DbSession::Options options;
    options.cancellable = true;
    DbSession session(TestDatabase::settings(), options);
    CancelGroup group(TestDatabase::settings());
    const CancelMembership membership(group, session);
    takeRecorded();
    QString state;
    std::thread waiter([&] {
        try {
            session.exec(QStringLiteral("SELECT pg_sleep(?)"), {60});
        } catch (const DbError &error) {
            state = error.sqlState();
        }
    });
    QTest::qWait(300);
    group.cancelRunning();
    waiter.join();
    QCOMPARE(state, QStringLiteral("57014"));
    QCOMPARE(driverWarnings(), QStringList());
}

void TestDriverWarnings::runAndUndoSayNothingOfRefusedValues()
{
    exec({"CREATE TABLE hw.names (id int, v text CHECK (v <> 'NO'))",
          "INSERT INTO hw.names SELECT i, 'row ' || i FROM generate_series(1, 500) i",
          "INSERT INTO hw.names VALUES (1001, 'no'), (1002, 'no')"});
    takeRecorded();
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"hw", "names"}, {"v"}, CaseMode::Upper);
    QCOMPARE(run.valuesNotWritten, 1);
    QCOMPARE(driverWarnings(), QStringList());

    // The constraint now refuses an old value.
    exec({"ALTER TABLE hw.names ADD CHECK (v <> 'row 7')"});
    UndoRun undo(TestDatabase::settings(), run);
    UndoSummary summary;
    connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) { summary = s; });
    undo.run();
    QVERIFY(!summary.endedEarly);
    QCOMPARE(summary.rowsLeftAlone, 1);
    QCOMPARE(driverWarnings(), QStringList());

    // A trigger's failure that no run handles is the run's failure, which the run reports; the
    // driver says nothing of it.
    exec({"CREATE FUNCTION hw.refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
          "RAISE EXCEPTION 'not allowed' USING ERRCODE = 'insufficient_privilege'; END$$",
          "CREATE TRIGGER refuse BEFORE UPDATE ON hw.names FOR EACH ROW "
          "EXECUTE FUNCTION hw.refuse()"});
    ChangeRun failing(TestDatabase::settings(),
                      CaseChange{{"hw", "names"}, {"v"}, CaseMode::Lower});
    ChangeRunSummary failed;
    connect(&failing, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { failed = s; });
    failing.run();
    QVERIFY(failed.endedEarly);
    QVERIFY2(failed.firstError.contains("not allowed"), qPrintable(failed.firstError));
    QCOMPARE(driverWarnings(), QStringList());
}

QTEST_GUILESS_MAIN(TestDriverWarnings)
#include "tst_driverwarnings.moc"
