// The watcher of a task's waits on other clients' locks, against the test server: a wait on
// another client's row is reported with its table and holder until it ends, and a wait of one of
// the task's sessions on another of its own is not reported.
#include "db/cancelgroup.h"
#include "db/lockwaitwatcher.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QTest>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// A session of the task on a thread of its own: joins the task's group, runs the statements,
// and keeps its transaction until it ends.
class TaskSession
{
public:
    TaskSession(CancelGroup &group, const QStringList &statements)
        : thread_([this, &group, statements] { run(group, statements); })
    {
    }
    ~TaskSession()
    {
        {
            std::lock_guard lock(mutex_);
            end_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Waits until the statements have run.
    void ran()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ran_; });
    }

private:
    void run(CancelGroup &group, const QStringList &statements)
    {
        try {
            // Statements end on their own should the test stop half-way.
            DbSession session(TestDatabase::settings(), DbSession::Options{15, 20, false, true});
            const CancelMembership membership(group, session);
            for (const QString &statement : statements)
                session.execute(statement);
            std::unique_lock lock(mutex_);
            ran_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return end_; });
        } catch (const DbError &error) {
            qWarning("a session of the task failed: %s", qPrintable(error.text()));
            std::lock_guard lock(mutex_);
            ran_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool ran_ = false;
    bool end_ = false;
    std::thread thread_;
};

} // namespace

class TestLockWaitWatcher : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void waitOnAnotherClientUntilItEnds();
};

void TestLockWaitWatcher::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    db_ = TestDatabase::open();
    exec(db_, {"DROP SCHEMA IF EXISTS lw CASCADE", "CREATE SCHEMA lw",
               "CREATE TABLE lw.rows (id int PRIMARY KEY, v text)",
               "INSERT INTO lw.rows VALUES (1, 'one'), (2, 'two'), (3, 'three')"});
}

void TestLockWaitWatcher::cleanupTestCase()
{
    if (db_.isOpen())
        exec(db_, {"DROP SCHEMA IF EXISTS lw CASCADE"});
    TestDatabase::close(db_);
}

void TestLockWaitWatcher::waitOnAnotherClientUntilItEnds()
{
    QSqlDatabase holder = TestDatabase::open();
    exec(holder, {"SET application_name = 'other client'",
                  "SET idle_in_transaction_session_timeout = '30s'", "BEGIN",
                  "SELECT * FROM lw.rows WHERE id = 2 FOR UPDATE"});
    const qint64 holderPid =
        TestDatabase::column(holder, "SELECT pg_backend_pid()")[0].toLongLong();

    auto group = std::make_shared<CancelGroup>(TestDatabase::settings());
    LockWaitWatcher watcher;
    QList<LockWait> waits;
    int ended = 0;
    connect(&watcher, &LockWaitWatcher::waiting, this,
            [&](quint64, const LockWait &wait) { waits << wait; });
    connect(&watcher, &LockWaitWatcher::waitEnded, this, [&](quint64) { ++ended; });
    watcher.watch(TestDatabase::settings(), group);
    {
        // One session of the task holds row 3, which another waits for: that is the task's own
        // business. A third waits for the other client's row 2.
        std::optional<TaskSession> owner;
        owner.emplace(*group,
                      QStringList{"BEGIN", "SELECT * FROM lw.rows WHERE id = 3 FOR UPDATE"});
        owner->ran();
        TaskSession ownWait(*group, {"UPDATE lw.rows SET v = 'THREE' WHERE id = 3"});
        TaskSession otherWait(*group, {"UPDATE lw.rows SET v = 'TWO' WHERE id = 2"});
        QTRY_VERIFY_WITH_TIMEOUT(waits.size() >= 2, 10000);
        for (const LockWait &wait : std::as_const(waits)) {
            QCOMPARE(wait.holderPid, holderPid);
            QCOMPARE(wait.table.schema, "lw");
            QCOMPARE(wait.table.name, "rows");
            QCOMPARE(wait.holderUser, TestDatabase::settings().user);
            QCOMPARE(wait.holderApplication, "other client");
        }
        QVERIFY(waits.last().waitedMs > waits.first().waitedMs);
        QCOMPARE(ended, 0);

        // The other client lets go: the wait ends, and is said to end once, while the task's
        // own wait goes on.
        TestDatabase::exec(holder, {"ROLLBACK"});
        otherWait.ran();
        QTRY_COMPARE_WITH_TIMEOUT(ended, 1, 5000);
        const qsizetype reported = waits.size();
        QTest::qWait(1500);
        QCOMPARE(waits.size(), reported);
        QCOMPARE(ended, 1);
        owner.reset();
        ownWait.ran();
    }
    watcher.unwatch();
    TestDatabase::close(holder);
    QCOMPARE(TestDatabase::column(db_, "SELECT v FROM lw.rows ORDER BY id"),
             (QStringList{"one", "TWO", "THREE"}));
}

QTEST_GUILESS_MAIN(TestLockWaitWatcher)
#include "tst_lockwaitwatcher.moc"
