// The undo of a change run against the test server: every old value back byte for byte, rows
// changed since left alone, undo after a restart and of two runs in order, a stop that leaves
// every row old or restored, an undo whose sessions the server ends, old values that the server
// now refuses, and no undo in a database made again under the run's database's name.
#include "db/dbsession.h"
#include "journal/journalreader.h"
#include "journal/undorun.h"
#include "journalledrun.h"
#include "scratchdatabase.h"
#include "shardedtable.h"
#include "sqlfixture.h"
#include "testdatabase.h"
#include <QElapsedTimer>
#include <QThread>
#include <thread>

#include <QTemporaryDir>
#include <QTest>

class TestUndoRun : public QObject, protected SqlFixture
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
    void journalOfOneFieldAChunkIsUndone();
    void stopLeavesEveryRowOldOrRestored();
    void stopBehindARowLock();
    void endedSessionsLeaveEveryRowOldOrRestored();
    void refusedOldValueIsLeftAlone();
    void undoWaitsForTheRunItTakesBack();
    void chunkCutOffAtItsCommitIsSettled();
    void undoAfterAnUndoThatWasCutOff();
    void identityOfInheritedAndPartitionedTables();
    void partitionOnAnotherServerComesBack();
    void runOfADatabaseMadeAgainIsNotOffered();

private:
    UndoSummary undo(const JournalRun &run, bool stopAtFirstProgress = false,
                     const ConnectionSettings &settings = TestDatabase::settings());

    QTemporaryDir data_;
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

UndoSummary TestUndoRun::undo(const JournalRun &run, bool stopAtFirstProgress,
                              const ConnectionSettings &settings)
{
    UndoRun undo(settings, run);
    UndoSummary summary;
    bool finished = false;
    // Direct: the undo may be run from a run's writer thread.
    connect(
        &undo, &UndoRun::finished, this,
        [&](const UndoSummary &s) {
            summary = s;
            finished = true;
        },
        Qt::DirectConnection);
    if (stopAtFirstProgress)
        connect(&undo, &UndoRun::progress, this, [&] { undo.requestStop(); });
    undo.run();
    if (!finished)
        QTest::qFail("the undo did not report its end", __FILE__, __LINE__);
    return summary;
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
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("primary key") << "n int PRIMARY KEY, v text, w text" << QStringList{"v"};
    QTest::newRow("no key") << "n int, v text, w text" << QStringList{"v"};
    QTest::newRow("two fields, primary key")
        << "n int PRIMARY KEY, v text, w text" << QStringList{"v", "w"};
    QTest::newRow("two fields, no key") << "n int, v text, w text" << QStringList{"v", "w"};
}

void TestUndoRun::rowsChangedSinceAreLeftAlone()
{
    QFETCH(QString, columns);
    QFETCH(QStringList, fields);
    exec({"DROP TABLE IF EXISTS ur.edited", "CREATE TABLE ur.edited (" + columns + ")",
          "INSERT INTO ur.edited SELECT i, 'row ' || i, 'other ' || i "
          "FROM generate_series(1, 100) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "edited"}, fields, CaseMode::Upper);
    // Another client edits a row's value, another row's key (which moves a row without a key
    // as well), and deletes a third row.
    exec({"UPDATE ur.edited SET v = 'Edited Elsewhere' WHERE n = 7",
          "UPDATE ur.edited SET n = -n WHERE n = 8", "DELETE FROM ur.edited WHERE n = 9"});
    const UndoSummary summary = undo(run);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    // Of a row whose one field was edited, the other field still comes back where the row is
    // found by its key; without one, the edit moved the row away from its place.
    const bool found = fields.size() == 2 && columns.contains("PRIMARY KEY");
    QCOMPARE(summary.rowsLeftAlone, found ? 2 : 3);
    QCOMPARE(summary.rowsRestored, 100 - summary.rowsLeftAlone);
    QCOMPARE(column("SELECT v || ' ' || w FROM ur.edited WHERE n = 7"),
             QStringList{fields.size() == 2 && !found ? "Edited Elsewhere OTHER 7"
                                                      : "Edited Elsewhere other 7"});
    QCOMPARE(column("SELECT count(*) FROM ur.edited WHERE v = 'row ' || n AND w = 'other ' || n"),
             QStringList{"97"});
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

void TestUndoRun::journalOfOneFieldAChunkIsUndone()
{
    // A run of two fields as the program recorded it before one pass wrote them all: the chunks
    // of the first field, then those of the second, each with only its own field.
    exec({"CREATE TABLE ur.before (n int PRIMARY KEY, v text, w text)",
          "INSERT INTO ur.before SELECT i, 'v ' || i, 'w ' || i FROM generate_series(1, 3000) i"});
    const QString values = "SELECT md5(string_agg(v || w, ',' ORDER BY n)) FROM ur.before";
    const QStringList before = column(values);
    const JournalRun run = JournalledRun::Make(TestDatabase::settings(), {"ur", "before"},
                                               {"v", "w"}, CaseMode::Upper);
    const QString failure = JournalledRun::MakeFirstLayout(
        run.file, {"INSERT INTO change (field, relation, rows, delimiter, identities, olds, news)"
                   " SELECT f.field, c.relation, c.rows, c.delimiter, c.identities, f.olds, f.news"
                   " FROM change_field AS f JOIN change AS c USING (seq) ORDER BY f.seq",
                   "DROP TABLE change_field"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const UndoSummary summary = undo(ChangeJournal::Read(run.file));
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRestored, 2 * 3000);
    QCOMPARE(column(values), before);
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

void TestUndoRun::endedSessionsLeaveEveryRowOldOrRestored()
{
    exec({"CREATE TABLE ur.ended (n int, v text)",
          "INSERT INTO ur.ended SELECT i, 'some text ' || i FROM generate_series(1, 200000) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "ended"}, {"v"}, CaseMode::Upper);
    // Once the first chunk is restored, the server ends the session of one of the undo's two
    // writers, the newest session (the undo's own opens before them), while the other goes on.
    UndoRun undo(TestDatabase::settings(), run);
    UndoSummary summary;
    QString otherError;
    bool ended = false;
    connect(&undo, &UndoRun::progress, this, [&] {
        if (!std::exchange(ended, true))
            otherError = TestDatabase::exec(
                {"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                 "current_database() AND pid <> pg_backend_pid() ORDER BY backend_start DESC "
                 "LIMIT 1"});
    });
    connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) { summary = s; });
    undo.run();
    QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
    QVERIFY(summary.endedEarly);
    QVERIFY(!summary.firstError.isEmpty());
    QVERIFY(summary.rowsRestored > 0);

    // What the undo says it restored, also of the other writer's last chunk, is what is restored.
    const QString restored = "SELECT count(*) FROM ur.ended WHERE v = 'some text ' || n";
    QCOMPARE(column(restored), QStringList{QString::number(summary.rowsRestored)});

    // Undo goes on where it ended, and knows what the first one restored.
    const std::optional<JournalRun> last = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(last);
    QCOMPARE(last->id, run.id);
    QCOMPARE(last->rowsRestoredEarlier, summary.rowsRestored);
    const UndoSummary rest = this->undo(*last);
    QVERIFY2(rest.firstError.isEmpty(), qPrintable(rest.firstError));
    QVERIFY(!rest.endedEarly);
    QCOMPARE(rest.rowsRestoredEarlier, summary.rowsRestored);
    QCOMPARE(rest.rowsRestored, 200000 - summary.rowsRestored);
    QCOMPARE(rest.rowsLeftAlone, 0);
    QCOMPARE(column(restored), QStringList{"200000"});
}

// An undo of a run that goes on restores nothing and says so; once the run has ended, the undo
// takes back all of it.
void TestUndoRun::undoWaitsForTheRunItTakesBack()
{
    exec({"CREATE TABLE ur.going (n int PRIMARY KEY, v text)",
          "INSERT INTO ur.going SELECT i, 'row ' || i FROM generate_series(1, 100000) i"});
    ChangeRun run(TestDatabase::settings(), CaseChange{{"ur", "going"}, {"v"}, CaseMode::Upper});
    std::optional<JournalRun> going;
    UndoSummary early;
    run.setRecordedHook([&] {
        if (going)
            return;
        going = ChangeJournal::Last(TestDatabase::settings());
        if (going)
            early = undo(*going);
    });
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    QVERIFY(going);
    QVERIFY(going->inProgress());
    QVERIFY(early.endedEarly);
    QVERIFY2(early.firstError.contains("is still going on (process "),
             qPrintable(early.firstError));
    QCOMPARE(early.rowsRestored, 0);
    QCOMPARE(summary.rowsWritten, 100000);
    QCOMPARE(column("SELECT count(*) FROM ur.going WHERE v = 'ROW ' || n"), QStringList{"100000"});

    const std::optional<JournalRun> ended = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(ended && !ended->holder && ended->ended);
    QCOMPARE(ended->rowsRecorded, 100000);
    const UndoSummary all = undo(*ended);
    QVERIFY2(all.firstError.isEmpty(), qPrintable(all.firstError));
    QCOMPARE(all.rowsRestored, 100000);
    QCOMPARE(column("SELECT count(*) FROM ur.going WHERE v = 'row ' || n"), QStringList{"100000"});
}

// The server ends every session of the run after a chunk is in the journal and before its commit:
// the chunk stays pending. The run, the journal and the undo agree on the rows written, and the
// undo counts the pending rows as never written, not as changed since.
void TestUndoRun::chunkCutOffAtItsCommitIsSettled()
{
    exec({"CREATE TABLE ur.cut (n int PRIMARY KEY, v text)",
          "INSERT INTO ur.cut SELECT i, 'row ' || i FROM generate_series(1, 200000) i"});
    ChangeRun run(TestDatabase::settings(), CaseChange{{"ur", "cut"}, {"v"}, CaseMode::Upper});
    int recorded = 0;
    QString hookError;
    run.setRecordedHook([&] {
        if (++recorded == 3)
            hookError = TestDatabase::exec(
                {"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                 "current_database() AND backend_type = 'client backend' AND pid <> "
                 "pg_backend_pid() AND pid <> ALL (SELECT pid FROM pg_stat_activity WHERE query "
                 "LIKE '%pg_terminate_backend%')"});
    });
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    QVERIFY2(hookError.isEmpty(), qPrintable(hookError));
    QVERIFY(summary.endedEarly);
    TestDatabase::close(db_);
    db_ = TestDatabase::open();
    const QString written = "SELECT count(*) FROM ur.cut WHERE v = 'ROW ' || n";
    QCOMPARE(column(written), QStringList{QString::number(summary.rowsWritten)});

    const std::optional<JournalRun> journal = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(journal);
    QCOMPARE(journal->rowsRecorded, summary.rowsWritten);
    QVERIFY(journal->rowsPending > 0);
    const UndoSummary undone = undo(*journal);
    QVERIFY2(undone.firstError.isEmpty(), qPrintable(undone.firstError));
    QCOMPARE(undone.rowsRestored, summary.rowsWritten);
    QCOMPARE(undone.rowsNeverWritten, journal->rowsPending);
    QCOMPARE(undone.rowsLeftAlone, 0);
    QCOMPARE(column("SELECT count(*) FROM ur.cut WHERE v = 'row ' || n"), QStringList{"200000"});
}

// An undo that was cut off as it restored its newest chunk (its process killed) left that chunk
// marked as begun; the next undo counts its rows as restored earlier, not as changed since.
void TestUndoRun::undoAfterAnUndoThatWasCutOff()
{
    exec({"CREATE TABLE ur.killed (n int PRIMARY KEY, v text)",
          "INSERT INTO ur.killed SELECT i, 'row ' || i FROM generate_series(1, 50000) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "killed"}, {"v"}, CaseMode::Upper);
    qint64 cutRows = 0;
    {
        JournalReader reader(run);
        const std::optional<JournalChunk> chunk = reader.next();
        QVERIFY(chunk);
        QVERIFY(reader.markUndoing(chunk->seq));
        cutRows = chunk->rows;
        // What its statement restored before the process was killed.
        const QStringList ids = chunk->identities.split(chunk->delimiter);
        exec({"UPDATE ur.killed SET v = lower(v) WHERE n IN (" + ids.join(',') + ")"});
    }
    const UndoSummary summary = undo(ChangeJournal::Read(run.file));
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRestoredEarlier, cutRows);
    QCOMPARE(summary.rowsRestored, 50000 - cutRows);
    QCOMPARE(summary.rowsLeftAlone, 0);
    QCOMPARE(column("SELECT count(*) FROM ur.killed WHERE v = 'row ' || n"), QStringList{"50000"});
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

void TestUndoRun::partitionOnAnotherServerComesBack()
{
    // The rows of a foreign partition are recorded by their key and restored through this
    // server, with those of the local partition; one edited since is left alone.
    REQUIRE_REMOTE_DATABASE();
    const QString failure =
        ShardedTable::make(TestDatabase::settings(), "ur", "sharded", 20, 30, "'Mixed ' || i");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "sharded"}, {"name"}, CaseMode::Upper);
    QCOMPARE(column("SELECT count(*) FROM ur.sharded WHERE name = upper(name)"), QStringList{"50"});
    QVERIFY(ShardedTable::execRemote({"UPDATE ur.sharded_far SET name = 'edited' WHERE id = 30"})
                .isEmpty());
    const UndoSummary summary = undo(run);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRestored, 49);
    QCOMPARE(column("SELECT count(*) FROM ur.sharded WHERE name = 'Mixed ' || id"),
             QStringList{"49"});
    QCOMPARE(column("SELECT name FROM ur.sharded WHERE id = 30"), QStringList{"edited"});
    exec({"DROP TABLE ur.sharded"});

    // Rows that share a partition key each get their own value back.
    exec({"CREATE TABLE ur.shared (id int, name text) PARTITION BY RANGE (id)"});
    QVERIFY(ShardedTable::makeForeign(TestDatabase::settings(), "ur", "shared_far",
                                      "id int, name text",
                                      "OF ur.shared FOR VALUES FROM (0) TO (9)",
                                      {"INSERT INTO ur.shared_far VALUES (1, 'a b'), (1, 'a c'),"
                                       " (1, 'a d'), (2, 'x y'), (3, 'p q'), (3, 'p r')"})
                .isEmpty());
    const JournalRun shared =
        JournalledRun::Make(TestDatabase::settings(), {"ur", "shared"}, {"name"}, CaseMode::Upper);
    const UndoSummary sharedUndo = undo(shared);
    QVERIFY2(sharedUndo.firstError.isEmpty(), qPrintable(sharedUndo.firstError));
    QCOMPARE(sharedUndo.rowsRestored, 6);
    QCOMPARE(column("SELECT string_agg(name, ',' ORDER BY id, name) FROM ur.shared"),
             QStringList{"a b,a c,a d,x y,p q,p r"});
    exec({"DROP TABLE ur.shared"});
    QVERIFY(ShardedTable::dropRemote("ur").isEmpty());
}

void TestUndoRun::runOfADatabaseMadeAgainIsNotOffered()
{
    const QString name = "recasor_undo_made_again";
    const QStringList table = {"CREATE TABLE t (n int PRIMARY KEY, v text)",
                               "INSERT INTO t SELECT i, 'row ' || i FROM generate_series(1, 50) i"};
    auto scratch = std::make_unique<ScratchDatabase>(name);
    QVERIFY2(scratch->error().isEmpty(), qPrintable(scratch->error()));
    QCOMPARE(scratch->exec(table), QString());
    const JournalRun run =
        JournalledRun::Make(scratch->settings(), {"public", "t"}, {"v"}, CaseMode::Upper);
    QVERIFY(run.databaseIdentity.known());
    QVERIFY(!run.databaseIdentity.systemIdentifier.isEmpty()); // the test's user may read it
    QCOMPARE(ChangeJournal::Last(scratch->settings()).value_or(JournalRun{}).id, run.id);

    // Dropped and made again under the same name, with the values the run wrote.
    scratch.reset();
    scratch = std::make_unique<ScratchDatabase>(name);
    QVERIFY2(scratch->error().isEmpty(), qPrintable(scratch->error()));
    QCOMPARE(scratch->exec(table + QStringList{"UPDATE t SET v = upper(v)"}), QString());
    QVERIFY(!ChangeJournal::Last(scratch->settings()));
    // An undo of the run that is started all the same writes nothing there.
    const UndoSummary summary = undo(run, false, scratch->settings());
    QVERIFY(summary.endedEarly);
    QVERIFY2(summary.firstError.contains("not the one"), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRestored, 0);

    // A role that may not read the server's identity still gets the database's.
    ConnectionSettings plain = scratch->settings();
    plain.user = "recasor_undo_plain";
    plain.password = "Plain-pw-42";
    exec({"DROP ROLE IF EXISTS recasor_undo_plain",
          "CREATE ROLE recasor_undo_plain LOGIN PASSWORD 'Plain-pw-42'"});
    QCOMPARE(scratch->exec({"REVOKE EXECUTE ON FUNCTION pg_control_system() FROM PUBLIC"}),
             QString());
    DatabaseIdentity asPlain, asOwner;
    {
        DbSession session(plain);
        asPlain = DatabaseIdentity::Of(session);
    }
    {
        DbSession session(scratch->settings());
        asOwner = DatabaseIdentity::Of(session);
    }
    scratch.reset();
    exec({"DROP ROLE recasor_undo_plain"});
    QVERIFY(asPlain.systemIdentifier.isEmpty());
    QCOMPARE(asPlain.databaseOid, asOwner.databaseOid);
    QCOMPARE(asOwner.systemIdentifier, run.databaseIdentity.systemIdentifier);
    QVERIFY(asOwner.databaseOid != run.databaseIdentity.databaseOid);
}

QTEST_GUILESS_MAIN(TestUndoRun)
#include "tst_undorun.moc"
