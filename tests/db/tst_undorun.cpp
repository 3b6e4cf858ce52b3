// The undo of a change run against the test server: every old value back byte for byte, rows
// changed since left alone, undo after a restart and of two runs in order, a stop that leaves
// every row old or restored, and old values that the server now refuses.
#include "db/dbsession.h"
#include "db/undorun.h"
#include "journalledrun.h"
#include "testdatabase.h"
#include <QElapsedTimer>
#include <QThread>
#include <thread>

#include <QTemporaryDir>
#include <QTest>

class TestUndoRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyValueComesBackByteForByte_data();
    void everyValueComesBackByteForByte();
    void rowsChangedSinceAreLeftAlone_data();
    void rowsChangedSinceAreLeftAlone();
    void undoAfterRestartAndTwoRunsInOrder();
    void stopLeavesEveryRowOldOrRestored();
    void stopBehindARowLock();
    void refusedOldValueIsLeftAlone();
    void identityOfInheritedAndPartitionedTables();

private:
    UndoSummary undo(const JournalRun &run, bool stopAtFirstProgress = false);
    QStringList column(const QString &sql);
    void exec(const QStringList &statements);

    QTemporaryDir data_;
    QSqlDatabase db_;
};

void TestUndoRun::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    exec({"DROP SCHEMA IF EXISTS ur CASCADE", "CREATE SCHEMA ur"});
}

void TestUndoRun::cleanupTestCase()
{
    if (db_.isOpen())
        exec({"DROP SCHEMA IF EXISTS ur CASCADE"});
    TestDatabase::close(db_);
}

UndoSummary TestUndoRun::undo(const JournalRun &run, bool stopAtFirstProgress)
{
    UndoRun undo(TestDatabase::settings(), run);
    UndoSummary summary;
    bool finished = false;
    connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) {
        summary = s;
        finished = true;
    });
    if (stopAtFirstProgress)
        connect(&undo, &UndoRun::progress, this, [&] { undo.requestStop(); });
    undo.run();
    if (!finished)
        qWarning("the undo did not report its end");
    return summary;
}

QStringList TestUndoRun::column(const QString &sql)
{
    return TestDatabase::column(db_, sql);
}

void TestUndoRun::exec(const QStringList &statements)
{
    const QString error = TestDatabase::exec(db_, statements);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestUndoRun::everyValueComesBackByteForByte_data()
{
    QTest::addColumn<QString>("columns");
    QTest::newRow("primary key") << "n int PRIMARY KEY, v text";
    QTest::newRow("no key") << "n int, v text";
    QTest::newRow("composite key") << "k text, n int, v varchar, PRIMARY KEY (k, n)";
}

void TestUndoRun::everyValueComesBackByteForByte()
{
    QFETCH(QString, columns);
    exec({"DROP TABLE IF EXISTS ur.values", "CREATE TABLE ur.values (" + columns + ")"});
    const QStringList values = {"O'Neil",
                                "it's",
                                QStringLiteral("école ÉCOLE"),
                                QStringLiteral("smile 😀 東京"),
                                QStringLiteral("ᾳ 𐐨"),
                                QStringLiteral("e\u0301te\u0301"),
                                "tab\there\rcr\nlf\r\n",
                                "back\\slash 'q' \"dq\" ?",
                                "{fn x} {d '2020-01-01'}",
                                "ALREADY UPPER",
                                "dup value",
                                "dup value",
                                "dup value",
                                QString("word ONE ").repeated(5000).left(40000),
                                QString(QChar(0xE000)) + "0 private",
                                "control \x1f\x1e\x1d\x1c"};
    QSqlQuery insert(db_);
    const bool composite = columns.startsWith("k ");
    QVERIFY(insert.prepare(composite ? "INSERT INTO ur.values VALUES ('key ' || ?, ?, ?)"
                                     : "INSERT INTO ur.values VALUES (?, ?)"));
    for (qsizetype i = 0; i <= values.size(); ++i) {
        if (composite)
            insert.addBindValue(QString::number(i % 3));
        insert.addBindValue(int(i));
        insert.addBindValue(i < values.size() ? QVariant(values[i])
                                              : QVariant(QMetaType(QMetaType::QString)));
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }
    const QString bytes = "SELECT coalesce(md5(v), '<NULL>') || ':' || octet_length(v) "
                          "FROM ur.values ORDER BY n";
    const QStringList before = column(bytes);

    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "values"}, {"v"}, CaseMode::Upper);
    QCOMPARE(run.identity.byPosition(), columns == "n int, v text");
    QCOMPARE(run.rowsWritten, values.size() - 1); // all but the one already in capitals
    QVERIFY(column(bytes) != before);

    const UndoSummary summary = undo(run);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QVERIFY(!summary.endedEarly);
    QCOMPARE(summary.rowsRestored, run.rowsWritten);
    QCOMPARE(summary.rowsLeftAlone, 0);
    QCOMPARE(column(bytes), before);
    QCOMPARE(column("SELECT v FROM ur.values ORDER BY n"), QStringList(values)
                                                               << QStringLiteral("<NULL>"));
    QVERIFY(!ChangeJournal::Last(TestDatabase::settings()));
}

void TestUndoRun::rowsChangedSinceAreLeftAlone_data()
{
    QTest::addColumn<QString>("columns");
    QTest::newRow("primary key") << "n int PRIMARY KEY, v text";
    QTest::newRow("no key") << "n int, v text";
}

void TestUndoRun::rowsChangedSinceAreLeftAlone()
{
    QFETCH(QString, columns);
    exec({"DROP TABLE IF EXISTS ur.edited", "CREATE TABLE ur.edited (" + columns + ")",
          "INSERT INTO ur.edited SELECT i, 'row ' || i FROM generate_series(1, 100) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "edited"}, {"v"}, CaseMode::Upper);
    // Another client edits a row's value, another row's key (which moves a row without a key
    // as well), and deletes a third row.
    exec({"UPDATE ur.edited SET v = 'Edited Elsewhere' WHERE n = 7",
          "UPDATE ur.edited SET n = -n WHERE n = 8", "DELETE FROM ur.edited WHERE n = 9"});
    const UndoSummary summary = undo(run);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsLeftAlone, 3);
    QCOMPARE(summary.rowsRestored, 100 - summary.rowsLeftAlone);
    QCOMPARE(column("SELECT v FROM ur.edited WHERE n = 7"), QStringList{"Edited Elsewhere"});
    QCOMPARE(column("SELECT count(*) FROM ur.edited WHERE v = 'row ' || n"),
             QStringList{QString::number(summary.rowsRestored)});
}

void TestUndoRun::undoAfterRestartAndTwoRunsInOrder()
{
    exec({"CREATE TABLE ur.twice (n int PRIMARY KEY, v text)",
          "INSERT INTO ur.twice VALUES (1, 'jOHN o''neil'), (2, 'mary SMITH'), (3, NULL)"});
    const TableRef table{"ur", "twice"};
    const qint64 first =
        JournalledRun::Make(TestDatabase::settings(), table, {"v"}, CaseMode::Proper).id;
    const qint64 second =
        JournalledRun::Make(TestDatabase::settings(), table, {"v"}, CaseMode::Upper).id;
    const QString values = "SELECT v FROM ur.twice ORDER BY n";
    QCOMPARE(column(values), (QStringList{"JOHN O'NEIL", "MARY SMITH", "<NULL>"}));

    // Nothing of the runs is held in memory: each undo starts from what the journal holds.
    for (const auto &[id, expected] :
         {std::pair{second, QStringList{"John O'neil", "Mary Smith", "<NULL>"}},
          std::pair{first, QStringList{"jOHN o'neil", "mary SMITH", "<NULL>"}}}) {
        const std::optional<JournalRun> last = ChangeJournal::Last(TestDatabase::settings());
        QVERIFY(last);
        QCOMPARE(last->id, id);
        QCOMPARE(last->rowsRecorded, 2);
        const UndoSummary summary = undo(*last);
        QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
        QCOMPARE(summary.rowsRestored, 2);
        QCOMPARE(column(values), expected);
    }
    QVERIFY(!ChangeJournal::Last(TestDatabase::settings()));
}

void TestUndoRun::stopLeavesEveryRowOldOrRestored()
{
    exec({"CREATE TABLE ur.big (n int, v text)",
          "INSERT INTO ur.big SELECT i, 'some text ' || i FROM generate_series(1, 200000) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "big"}, {"v"}, CaseMode::Upper);
    UndoSummary summary = undo(run, true);
    QVERIFY(summary.endedEarly);
    QVERIFY(summary.firstError.isEmpty());
    QVERIFY(summary.rowsRestored > 0);
    QVERIFY(summary.rowsRestored < 200000);
    QCOMPARE(
        column("SELECT count(*) FILTER (WHERE v = 'some text ' || n) || ' ' || "
               "count(*) FILTER (WHERE v = 'SOME TEXT ' || n) FROM ur.big"),
        QStringList{
            QStringLiteral("%1 %2").arg(summary.rowsRestored).arg(200000 - summary.rowsRestored)});

    // The stopped undo is still offered, and goes on where it ended.
    const std::optional<JournalRun> last = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(last);
    QCOMPARE(last->id, run.id);
    const qint64 restoredFirst = summary.rowsRestored;
    summary = undo(*last);
    QVERIFY(!summary.endedEarly);
    QCOMPARE(summary.rowsRestored, 200000 - restoredFirst);
    QCOMPARE(summary.rowsLeftAlone, 0);
    QCOMPARE(column("SELECT count(*) FROM ur.big WHERE v = 'some text ' || n"),
             QStringList{"200000"});
}

void TestUndoRun::stopBehindARowLock()
{
    // Another client holds a row the undo's first statement must write; the stop cancels that
    // statement instead of waiting for the lock, and every row is whole.
    exec({"CREATE TABLE ur.locked (n int, v text)",
          "INSERT INTO ur.locked SELECT i, 'row ' || i FROM generate_series(1, 20000) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "locked"}, {"v"}, CaseMode::Upper);
    QSqlDatabase holder = TestDatabase::open();
    QVERIFY(TestDatabase::exec(holder, {"SET idle_in_transaction_session_timeout = '30s'", "BEGIN",
                                        "SELECT * FROM ur.locked WHERE n = 2 FOR UPDATE"})
                .isEmpty());
    UndoRun undo(TestDatabase::settings(), run);
    UndoSummary summary;
    connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) { summary = s; });
    std::thread stopper([&] {
        QThread::msleep(1000);
        undo.requestStop();
    });
    QElapsedTimer clock;
    clock.start();
    undo.run();
    const qint64 elapsed = clock.elapsed();
    stopper.join();
    TestDatabase::exec(holder, {"ROLLBACK"});
    TestDatabase::close(holder);
    QVERIFY(summary.endedEarly);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QVERIFY2(elapsed < 10000, "the stop waited for the lock");
    QCOMPARE(column("SELECT count(*) FROM ur.locked WHERE v = 'row ' || n OR v = 'ROW ' || n"),
             QStringList{"20000"});
}

void TestUndoRun::refusedOldValueIsLeftAlone()
{
    exec({"CREATE TABLE ur.uniq (v text UNIQUE)",
          "INSERT INTO ur.uniq SELECT 'row ' || i FROM generate_series(1, 50) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "uniq"}, {"v"}, CaseMode::Upper);
    // Another client takes an old value that is free since the run.
    exec({"INSERT INTO ur.uniq VALUES ('row 17')"});
    const UndoSummary summary = undo(run);
    QVERIFY(!summary.endedEarly);
    QVERIFY2(summary.firstError.contains("duplicate key"), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRestored, 49);
    QCOMPARE(summary.rowsLeftAlone, 1);
    QCOMPARE(column("SELECT v FROM ur.uniq WHERE v LIKE 'R%'"), QStringList{"ROW 17"});
    QCOMPARE(column("SELECT count(*) FROM ur.uniq WHERE v LIKE 'row %'"), QStringList{"50"});
}

void TestUndoRun::identityOfInheritedAndPartitionedTables()
{
    // A partition has the key's index of its own; a table that merely inherits does not, and
    // may repeat the key's values, so its rows are told apart by their position.
    exec({"CREATE TABLE ur.parted (k int, day date, v text, PRIMARY KEY (k, day))"
          " PARTITION BY RANGE (day)",
          "CREATE TABLE ur.parted_a PARTITION OF ur.parted FOR VALUES FROM ('2020-01-01') TO "
          "('2030-01-01')",
          "CREATE TABLE ur.base (k int PRIMARY KEY, v text)",
          "CREATE TABLE ur.derived () INHERITS (ur.base)"});
    DbSession session(TestDatabase::settings());
    const RowIdentity parted = RowIdentity::Of(session, {"ur", "parted"});
    QCOMPARE(parted.key.size(), 2);
    QCOMPARE(parted.key[0].name, "k");
    QCOMPARE(parted.key[1].typeSql, "\"pg_catalog\".\"date\"");
    QVERIFY(RowIdentity::Of(session, {"ur", "base"}).byPosition());
    QCOMPARE(RowIdentity::Of(session, {"ur", "derived"}).key.size(), 0);

    // The converted field is the partition key: the run moves rows to the partition of their
    // new value, and the undo moves them back.
    exec({"CREATE TABLE ur.bykey (id int, v text, PRIMARY KEY (id, v)) PARTITION BY LIST (v)",
          "CREATE TABLE ur.bykey_low PARTITION OF ur.bykey FOR VALUES IN ('abc', 'def')",
          "CREATE TABLE ur.bykey_up PARTITION OF ur.bykey FOR VALUES IN ('ABC', 'DEF')",
          "INSERT INTO ur.bykey VALUES (1, 'abc'), (2, 'def')"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "bykey"}, {"v"}, CaseMode::Upper);
    QCOMPARE(column("SELECT count(*) FROM ur.bykey_up"), QStringList{"2"});
    const UndoSummary summary = undo(run);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRestored, 2);
    QCOMPARE(column("SELECT string_agg(v, ',' ORDER BY id) FROM ur.bykey_low"),
             QStringList{"abc,def"});
}

QTEST_GUILESS_MAIN(TestUndoRun)
#include "tst_undorun.moc"
