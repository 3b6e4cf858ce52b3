// The driver's warnings against the test server: a failure that the program handles (its own
// stop, a refused value, a retried conflict) writes nothing to the terminal, and every other
// failure still does. A recording message handler stands behind the holding one, where the
// terminal's would be.
#include "casing/caserules.h"
#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/expectedfailure.h"
#include "db/heldwarnings.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"
#include "journalledrun.h"
#include "run/changerun.h"
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

bool never(const DbError &)
{
    return false;
}

} // namespace

class TestHeldWarnings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void holdingKeepsOrderAndOtherThreads();
    void failedStatements_data();
    void failedStatements();
    void stopsOfTheProgramAreQuiet();
    void runAndUndoSayNothingOfRefusedValues();

private:
    void exec(const QStringList &statements);

    QTemporaryDir data_; // the journal's folder
};

void TestHeldWarnings::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    terminal = qInstallMessageHandler(record);
    HeldWarnings::Install();
    exec({"DROP SCHEMA IF EXISTS hw CASCADE", "CREATE SCHEMA hw"});
}

void TestHeldWarnings::cleanupTestCase()
{
    exec({"DROP SCHEMA IF EXISTS hw CASCADE"});
    qInstallMessageHandler(terminal);
}

void TestHeldWarnings::exec(const QStringList &statements)
{
    const QString error = TestDatabase::exec(statements);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestHeldWarnings::holdingKeepsOrderAndOtherThreads()
{
    takeRecorded();
    {
        HeldWarnings held;
        qWarning("first");
        {
            HeldWarnings inner;
            qWarning("dropped");
            inner.drop();
        }
        std::thread([] { qWarning("another thread"); }).join();
        QCOMPARE(takeRecorded(), QStringList{"another thread"});
        qWarning("second");
    }
    qWarning("after");
    QCOMPARE(takeRecorded(), (QStringList{"first", "second", "after"}));
}

void TestHeldWarnings::failedStatements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("refusalsExpected");
    QTest::addColumn<bool>("warns");
    const QString missing = QStringLiteral("DELETE FROM hw.no_such_table WHERE 1 = ?");
    QTest::newRow("unexpected failure") << missing << QVariantList{1} << 0 << false << true;
    QTest::newRow("failure that a marker does not expect")
        << missing << QVariantList{1} << 0 << true << true;
    QTest::newRow("refused value that a marker expects")
        << "SELECT 1 / ?" << QVariantList{0} << 0 << true << false;
    QTest::newRow("refused value that nobody expects")
        << "SELECT 1 / ?" << QVariantList{0} << 0 << false << true;
    // Cancelled as a stop is, but by the server's time-out rather than the program.
    QTest::newRow("statement time-out")
        << "SELECT pg_sleep(?)" << QVariantList{30} << 1 << true << true;
    QTest::newRow("no failure") << "SELECT ?" << QVariantList{1} << 0 << false << false;
}

void TestHeldWarnings::failedStatements()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QFETCH(int, timeout);
    QFETCH(bool, refusalsExpected);
    QFETCH(bool, warns);
    DbSession::Options options;
    options.statementTimeout = timeout;
    DbSession session(TestDatabase::settings(), options);
    takeRecorded();
    const ExpectedFailure marker(refusalsExpected ? ConcernsOneValue : never);
    try {
        session.exec(sql, values);
    } catch (const DbError &) {
    }
    QCOMPARE(driverWarnings().size(), warns ? 1 : 0);
}

void TestHeldWarnings::stopsOfTheProgramAreQuiet()
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

void TestHeldWarnings::runAndUndoSayNothingOfRefusedValues()
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

    // A trigger's failure that no run handles still shows.
    exec({"CREATE FUNCTION hw.refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
          "RAISE EXCEPTION 'not allowed' USING ERRCODE = 'insufficient_privilege'; END$$",
          "CREATE TRIGGER refuse BEFORE UPDATE ON hw.names FOR EACH ROW "
          "EXECUTE FUNCTION hw.refuse()"});
    ChangeRun failing(TestDatabase::settings(), {"hw", "names"}, {"v"}, CaseMode::Lower);
    ChangeRunSummary failed;
    connect(&failing, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { failed = s; });
    failing.run();
    QVERIFY(failed.endedEarly);
    QVERIFY2(failed.firstError.contains("not allowed"), qPrintable(failed.firstError));
    const QStringList warnings = driverWarnings();
    QVERIFY(!warnings.isEmpty());
    QVERIFY2(warnings.first().contains("not allowed"), qPrintable(warnings.first()));
}

QTEST_GUILESS_MAIN(TestHeldWarnings)
#include "tst_heldwarnings.moc"
