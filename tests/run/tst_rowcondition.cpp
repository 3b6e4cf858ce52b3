// A run by a row condition against the test server: hostile conditions are refused or change
// exactly the rows they pick; the condition holds when a row is written; it resolves names by
// the user's own search path; foreign partitions, Preview Changes and the undo take it too.
#include "jobresult.h"
#include "journal/changejournal.h"
#include "journal/undorun.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "scratchdatabase.h"
#include "shardedtable.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QTemporaryDir>
#include <QTest>

class TestRowCondition : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void hostileConditions_data();
    void hostileConditions();
    void conditionHoldsWhenTheRowIsWritten();
    void conditionInTheRowByRowWrite();
    void previewAndUndoTakeTheCondition();
    void foreignPartitionsTakeTheCondition();
    void namesResolveByTheUsersSearchPath();

private:
    ChangeRunSummary runOn(const TableRef &table, const QString &condition,
                           const ConnectionSettings &settings = TestDatabase::settings(),
                           const std::function<void()> &chunkRead = {});
    // The ids of rc.items whose name the run changed, and those the expected condition picks.
    QString changedIds() { return ids("name <> 'item ' || id"); }
    QString ids(const QString &where)
    {
        return column("SELECT coalesce(string_agg(id::text, ',' ORDER BY id), '') FROM rc.items"
                      " WHERE " +
                      where)
            .value(0);
    }

    QTemporaryDir data_; // the journal's folder
};

void TestRowCondition::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    exec({"DROP SCHEMA IF EXISTS rc CASCADE", "CREATE SCHEMA rc",
          "CREATE TABLE rc.items (id int PRIMARY KEY, n int, country text, name text)",
          "INSERT INTO rc.items SELECT i, i, (ARRAY['TR', 'DE', 'FR'])[i % 3 + 1], 'item ' || i"
          " FROM generate_series(1, 60) i",
          "CREATE TABLE rc.canary (n int)", "INSERT INTO rc.canary VALUES (1)",
          "CREATE SEQUENCE rc.seq",
          "CREATE FUNCTION rc.writes() RETURNS boolean LANGUAGE sql AS"
          " 'INSERT INTO rc.canary VALUES (2); SELECT true'",
          "CREATE FUNCTION rc.writes_stable() RETURNS boolean STABLE LANGUAGE plpgsql AS"
          " 'BEGIN INSERT INTO rc.canary VALUES (3); RETURN true; END'"});
}

void TestRowCondition::cleanupTestCase()
{
    if (db_.isOpen())
        exec({"DROP SCHEMA IF EXISTS rc CASCADE"});
    TestDatabase::close(db_);
}

ChangeRunSummary TestRowCondition::runOn(const TableRef &table, const QString &condition,
                                         const ConnectionSettings &settings,
                                         const std::function<void()> &chunkRead)
{
    CaseChange change{table, {"name"}, CaseMode::Upper};
    change.condition = condition;
    ChangeRun run(settings, change);
    if (chunkRead)
        run.setChunkReadHook(chunkRead);
    return RunJob<ChangeRunSummary>(run);
}

void TestRowCondition::hostileConditions_data()
{
    // A refusal is a part of its text; else the condition on rc.items that picks the rows the
    // run must change, which the server works out.
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("picks");
    const auto picks = [](const char *name, const QString &condition, const QString &expected) {
        QTest::newRow(name) << condition << QString() << expected;
    };
    const auto refused = [](const char *name, const QString &condition, const QString &why) {
        QTest::newRow(name) << condition << why << QString();
    };
    picks("plain", "country = 'TR'", "country = 'TR'");
    picks("line comment at the end", "country = 'TR' -- ) OR (true", "country = 'TR'");
    picks("block comment", "country = 'TR' /* ) OR (true */ AND n > 30",
          "country = 'TR' AND n > 30");
    picks("nested block comment", "country = 'DE' /* a /* b */ ) OR true */", "country = 'DE'");
    picks("parenthesis in a string", "country = 'TR' OR name = ')) OR ((true'", "country = 'TR'");
    picks("escaped quote in an E-string", "name = E'item \\' OR true --'", "false");
    picks("doubled quote", "name = 'it''s' OR n = 7", "n = 7");
    picks("dollar quote", "country = $x$TR$x$", "country = 'TR'");
    picks("dollar quote holding a semicolon", "country = $$;$$ OR n < 3", "n < 3");
    picks("quoted name", "\"country\" = 'DE'", "country = 'DE'");
    picks("subquery", "country IN (SELECT 'FR')", "country = 'FR'");
    picks("another table", "EXISTS (SELECT FROM rc.canary WHERE n = 1) AND n <= 2", "n <= 2");
    picks("schema-qualified function", "pg_catalog.lower(country) = 'tr'", "country = 'TR'");
    picks("several lines", "country = 'TR'\n-- the rest\nAND n > 50\n",
          "country = 'TR' AND n > 50");
    picks("no row", "n > 1000", "false");
    refused("empty", "  \n ", "empty");
    refused("unterminated comment", "country = 'TR' /* ) OR (true", "comment");
    refused("second statement", "country = 'TR'; DROP TABLE rc.canary", ";");
    refused("closes the statement's parenthesis", "true) OR (true", "parenthesis");
    refused("opens one", "(country = 'TR'", "parenthesis");
    refused("closes too many", "country = 'TR')) --", "parenthesis");
    refused("unterminated string", "country = 'TR", "string");
    refused("unterminated E-string", "name = E'item \\'", "string");
    refused("unterminated dollar quote", "country = $x$TR", "$x$");
    refused("unterminated quoted name", "\"country = 'TR'", "quoted name");
    refused("not boolean", "n", "boolean");
    refused("not boolean text", "'yes please'", "boolean");
    refused("unknown column", "nope = 1", "nope");
    refused("nextval", "nextval('rc.seq') > 0", "nextval");
    refused("a function that writes", "rc.writes()", "read-only");
    refused("a stable function that writes", "rc.writes_stable()", "non-volatile");
    refused("random", "random() < 0.5", "random()");
    refused("random in a subquery", "n < (SELECT random() * 60)", "random()");
    refused("aggregate", "count(*) > 0", "aggregate");
    refused("set-returning function", "generate_series(1, 2) > 1", "set-returning");
    refused("window function", "row_number() OVER () > 1", "window");
    refused("data-modifying WITH", "(WITH gone AS (DELETE FROM rc.canary RETURNING 1) SELECT true)",
            "WITH");
    refused("ODBC parameter", "n > ?", "?");
    refused("ODBC escape", "{fn ucase(country)} = 'TR'", "brace");
}

void TestRowCondition::hostileConditions()
{
    QFETCH(QString, condition);
    QFETCH(QString, refusal);
    QFETCH(QString, picks);
    exec({"UPDATE rc.items SET name = 'item ' || id WHERE name <> 'item ' || id"});
    const ChangeRunSummary summary = runOn({"rc", "items"}, condition);
    if (!refusal.isEmpty()) {
        QVERIFY(summary.endedEarly);
        QVERIFY2(summary.firstError.startsWith("The row condition was refused: ") &&
                     summary.firstError.contains(refusal, Qt::CaseInsensitive),
                 qPrintable(summary.firstError));
        QCOMPARE(summary.rowsRead, 0);
        QCOMPARE(changedIds(), QString());
    } else {
        QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
        QCOMPARE(changedIds(), ids(picks));
        QCOMPARE(summary.rowsWritten, ids(picks).isEmpty() ? 0 : ids(picks).count(u',') + 1);
        QCOMPARE(ids("name <> 'item ' || id AND name <> upper('item ' || id)"), QString());
    }
    // Nothing else was touched.
    QCOMPARE(column("SELECT string_agg(n::text, ',') FROM rc.canary"), QStringList{"1"});
    QCOMPARE(column("SELECT count(*) FROM rc.items"), QStringList{"60"});
}

void TestRowCondition::conditionHoldsWhenTheRowIsWritten()
{
    // Rows 9 (TR) and 10 (DE) hold the same value.
    exec({"UPDATE rc.items SET name = 'item ' || id, country = (ARRAY['TR', 'DE', 'FR'])[id % 3 "
          "+ 1]",
          "UPDATE rc.items SET name = 'shared' WHERE id IN (9, 10)"});
    // After the run has read its rows and before it writes them, another client moves two rows
    // out of the condition and one into it, and moves row 9 to another place in the table,
    // where the run writes its value by the value itself.
    bool moved = false;
    QString otherError;
    const ChangeRunSummary summary =
        runOn({"rc", "items"}, "country = 'TR'", TestDatabase::settings(), [&] {
            if (moved)
                return;
            moved = true;
            otherError = TestDatabase::execIn(
                TestDatabase::settings(), {"UPDATE rc.items SET country = 'XX' WHERE id IN (3, 6)",
                                           "UPDATE rc.items SET country = 'TR' WHERE id = 1",
                                           "UPDATE rc.items SET n = n WHERE id = 9"});
        });
    QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    // The rows moved out keep their values and count with the rows another client changed; the
    // row moved in was not read, and is not written either. Of the two rows that hold the
    // moved row's value, only the one the condition picks is written.
    QCOMPARE(ids("name <> 'item ' || id AND id NOT IN (9, 10)"),
             ids("id % 3 = 0 AND id NOT IN (3, 6, 9)"));
    QCOMPARE(column("SELECT name FROM rc.items WHERE id IN (9, 10) ORDER BY id"),
             (QStringList{"SHARED", "shared"}));
    QCOMPARE(summary.rowsLeftChanged, 2);
    QCOMPARE(summary.rowsWritten, 18);
}

void TestRowCondition::conditionInTheRowByRowWrite()
{
    // A refused value sends the chunk through the function that writes row by row, whose
    // dollar-quoted body holds the condition: a field's name and a string in the condition hold
    // the quoting's own tag, and only the rows the condition picks are written.
    exec({"CREATE TABLE rc.tagged (id int PRIMARY KEY, \"k$recasor$\" text,"
          " name text CHECK (name <> 'ITEM 5'))",
          "INSERT INTO rc.tagged SELECT i, CASE WHEN i % 2 = 1 THEN 'a$recasor$b' END,"
          " 'item ' || i FROM generate_series(1, 9) i"});
    const ChangeRunSummary summary = runOn({"rc", "tagged"}, "\"k$recasor$\" = 'a$recasor$b'");
    QVERIFY2(!summary.endedEarly, qPrintable(summary.firstError));
    QCOMPARE(summary.rowsWritten, 4);
    QCOMPARE(summary.rowsRefused, 1);
    QCOMPARE(column("SELECT string_agg(id::text, ',' ORDER BY id) FROM rc.tagged"
                    " WHERE name = upper(name)"),
             QStringList{"1,3,7,9"});
    exec({"DROP TABLE rc.tagged"});
}

void TestRowCondition::previewAndUndoTakeTheCondition()
{
    exec({"UPDATE rc.items SET name = 'item ' || id, country = (ARRAY['TR', 'DE', 'FR'])[id % 3 "
          "+ 1]"});
    CaseChange change{{"rc", "items"}, {"name"}, CaseMode::Upper};
    change.condition = "country = 'DE' AND n > 30";
    ChangePreview preview(TestDatabase::settings(), change);
    PreviewResult previewed = RunJob<PreviewResult>(preview);
    QVERIFY2(previewed.error.isEmpty(), qPrintable(previewed.error));
    QCOMPARE(previewed.counted.size(), 1);
    QCOMPARE(previewed.counted[0].rowsRead, 10);
    QCOMPARE(previewed.counted[0].rowsChanging, 10);

    const ChangeRunSummary summary = runOn({"rc", "items"}, change.condition);
    QCOMPARE(summary.rowsWritten, 10);
    const std::optional<JournalRun> run = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(run);
    QCOMPARE(run->condition, change.condition);
    // Another client changes a converted row back into the condition's reach meanwhile: the
    // undo needs no condition, and restores the rows the journal holds.
    exec({"UPDATE rc.items SET country = 'FR' WHERE id = 31"});
    UndoRun undo(TestDatabase::settings(), *run);
    const UndoSummary undone = RunJob<UndoSummary>(undo);
    QVERIFY2(undone.firstError.isEmpty(), qPrintable(undone.firstError));
    QCOMPARE(undone.rowsRestored, 10);
    QCOMPARE(changedIds(), QString());

    // A refused condition ends the preview with the server's reason, and reads nothing.
    change.condition = "count(*) > 1";
    ChangePreview refused(TestDatabase::settings(), change);
    previewed = RunJob<PreviewResult>(refused);
    QVERIFY2(previewed.error.startsWith("The row condition was refused: "),
             qPrintable(previewed.error));
    QVERIFY(previewed.counted.isEmpty());
}

void TestRowCondition::foreignPartitionsTakeTheCondition()
{
    REQUIRE_REMOTE_DATABASE();
    const QString failure =
        ShardedTable::make(TestDatabase::settings(), "rc", "sharded", 30, 40, "'ann lee ' || i");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const ChangeRunSummary summary = runOn({"rc", "sharded"}, "id % 2 = 0 OR name LIKE '%5'");
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT string_agg(id::text, ',' ORDER BY id) FROM rc.sharded"
                    " WHERE name = upper(name)"),
             column("SELECT string_agg(id::text, ',' ORDER BY id) FROM rc.sharded"
                    " WHERE id % 2 = 0 OR id % 10 = 5"));
    QCOMPARE(summary.rowsWritten, 42);
    exec({"DROP TABLE rc.sharded"});
}

void TestRowCondition::namesResolveByTheUsersSearchPath()
{
    // The database's search path names a schema whose function the condition calls by its
    // name alone; the role's own setting in the database comes before it. The program's own
    // statements still name everything through its schema: the schema plants functions and an
    // operator that would catch theirs.
    ScratchDatabase scratch("recasor_tst_rowcondition");
    QVERIFY2(scratch.error().isEmpty(), qPrintable(scratch.error()));
    const ConnectionSettings settings = scratch.settings();
    const QString user = QuoteIdentifier(settings.user);
    QString failure = scratch.exec(
        {"CREATE SCHEMA app", "CREATE SCHEMA app2",
         "CREATE TABLE app.items (id int PRIMARY KEY, country varchar(2), name varchar(20))",
         "INSERT INTO app.items SELECT i, (ARRAY['TR', 'DE'])[i % 2 + 1], 'item ' || i"
         " FROM generate_series(1, 20) i",
         "CREATE FUNCTION app.picked(varchar) RETURNS boolean STABLE LANGUAGE sql"
         " AS $$SELECT $1 = 'TR'$$",
         "CREATE FUNCTION app2.picked(varchar) RETURNS boolean STABLE LANGUAGE sql"
         " AS $$SELECT $1 = 'DE'$$",
         "CREATE FUNCTION app.upper(varchar) RETURNS text LANGUAGE sql AS $$SELECT 'CAUGHT'$$",
         "CREATE FUNCTION app.left(varchar, int) RETURNS text LANGUAGE sql"
         " AS $$SELECT 'CAUGHT'$$",
         "CREATE FUNCTION app.caught(varchar, varchar) RETURNS boolean LANGUAGE sql"
         " AS $$SELECT true$$",
         "CREATE OPERATOR app.= (FUNCTION = app.caught, LEFTARG = varchar, RIGHTARG = varchar)",
         "ALTER DATABASE recasor_tst_rowcondition SET search_path = app, public"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    ChangeRunSummary summary = runOn({"app", "items"}, "picked(country)", settings);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    // The test's own look at the rows must not be caught either.
    QSqlDatabase db = TestDatabase::open(settings);
    failure = TestDatabase::exec(db, {"SET search_path = pg_catalog"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const auto changed = [&db] {
        return TestDatabase::column(db, "SELECT coalesce(string_agg(id::text, ',' ORDER BY id),"
                                        " '') FROM app.items WHERE name LIKE 'ITEM%'")
            .value(0);
    };
    const auto caught = [&db] {
        return TestDatabase::column(db, "SELECT count(*) FROM app.items WHERE name = 'CAUGHT'")
            .value(0);
    };
    QCOMPARE(changed(), "2,4,6,8,10,12,14,16,18,20");
    QCOMPARE(caught(), "0");
    failure = TestDatabase::exec(db, {"UPDATE app.items SET name = lower(name)",
                                      "ALTER ROLE " + user +
                                          " IN DATABASE recasor_tst_rowcondition SET search_path"
                                          " = app2, app, public"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    summary = runOn({"app", "items"}, "picked(country)", settings);
    const QString reset = TestDatabase::exec(
        db, {"ALTER ROLE " + user + " IN DATABASE recasor_tst_rowcondition RESET search_path"});
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QVERIFY2(reset.isEmpty(), qPrintable(reset));
    QCOMPARE(changed(), "1,3,5,7,9,11,13,15,17,19");
    QCOMPARE(caught(), "0");
    TestDatabase::close(db);
}

QTEST_MAIN(TestRowCondition)
#include "tst_rowcondition.moc"
