// The walk by key over foreign partitions on the test server, whose rows live in its second
// database: which key the table plan finds for each, and that the walk's chunks hold every row
// exactly once, each no larger than asked for unless rows share the key at its end.
#include "db/dbsession.h"
#include "db/tableplan.h"
#include "run/keywalk.h"
#include "shardedtable.h"
#include "sqlfixture.h"

#include <QTest>

class TestKeyWalk : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void keysOfForeignTables();
    void everyRowOnce_data();
    void everyRowOnce();

private:
    QList<KeyedRelation> keyed(const QString &table);
    void execRemote(const QStringList &statements);
};

void TestKeyWalk::initTestCase()
{
    REQUIRE_REMOTE_DATABASE();
    exec({"DROP SCHEMA IF EXISTS kw CASCADE", "CREATE SCHEMA kw"});
    execRemote({"DROP SCHEMA IF EXISTS kw CASCADE"});
}

void TestKeyWalk::cleanupTestCase()
{
    TestDatabase::exec({"DROP SCHEMA IF EXISTS kw CASCADE"});
    ShardedTable::dropRemote("kw");
}

void TestKeyWalk::execRemote(const QStringList &statements)
{
    const QString error = ShardedTable::execRemote(statements);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

QList<KeyedRelation> TestKeyWalk::keyed(const QString &table)
{
    DbSession session(TestDatabase::settings());
    const std::optional<TablePlan> plan = TablePlan::Of(session, "kw." + table);
    if (!plan)
        return {};
    return plan->keyedRelations(session);
}

void TestKeyWalk::keysOfForeignTables()
{
    QString failure = ShardedTable::make(TestDatabase::settings(), "kw", "people", 2, 3);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QList<KeyedRelation> found = keyed("people");
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].sql, "\"kw\".\"people_far\"");
    QCOMPARE(found[0].key, (QList<RowIdentity::Column>{{"id", "\"pg_catalog\".\"int4\""}}));
    QVERIFY(!found[0].keyMayBeNull);

    // Two levels: the foreign table is walked by the key of the table it is a partition of;
    // a varchar orders as text. An expression in the key, or a foreign table that merely
    // inherits, gives no key to walk by.
    exec({"CREATE TABLE kw.levels (region varchar(8), n int) PARTITION BY LIST (region)",
          "CREATE TABLE kw.levels_north PARTITION OF kw.levels FOR VALUES IN ('north')"
          " PARTITION BY HASH (n, region)",
          "CREATE TABLE kw.byexpr (v text) PARTITION BY RANGE (lower(v))",
          "CREATE TABLE kw.base (v text)"});
    for (const auto &[name, columns, of] :
         {std::tuple{"levels_far", "region varchar(8), n int",
                     "OF kw.levels_north FOR VALUES WITH (MODULUS 2, REMAINDER 0)"},
          {"byexpr_far", "v text", "OF kw.byexpr FOR VALUES FROM ('a') TO ('m')"},
          {"base_far", "v text", ""}}) {
        failure = ShardedTable::makeForeign(TestDatabase::settings(), "kw", name, columns, of);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    exec({"ALTER TABLE kw.base_far INHERIT kw.base"});
    found = keyed("levels");
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].key, (QList<RowIdentity::Column>{{"n", "\"pg_catalog\".\"int4\""},
                                                       {"region", "\"pg_catalog\".\"varchar\""}}));
    QVERIFY(found[0].keyMayBeNull);
    for (const char *table : {"byexpr", "base"}) {
        found = keyed(table);
        QCOMPARE(found.size(), 1);
        QVERIFY2(found[0].key.isEmpty(), table);
    }
}

void TestKeyWalk::everyRowOnce_data()
{
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QString>("partitionBy");
    QTest::addColumn<QString>("rowsSql"); // the remote rows, in the remote database
    QTest::addColumn<int>("chunkRows");
    QTest::addColumn<int>("chunks");
    QTest::newRow("a unique key") << "id int NOT NULL, v text"
                                  << "RANGE (id)"
                                  << "SELECT i, 'v' || i FROM generate_series(1, 50) i" << 7 << 8;
    QTest::newRow("fewer rows than a chunk")
        << "id int NOT NULL, v text"
        << "RANGE (id)"
        << "SELECT i, 'v' || i FROM generate_series(1, 5) i" << 7 << 1;
    // Five rows a key: a chunk takes all rows of the key at its end.
    QTest::newRow("rows share a key")
        << "id int NOT NULL, v text"
        << "RANGE (id)"
        << "SELECT i / 5, 'v' || i FROM generate_series(0, 49) i" << 7 << 6;
    // Ordered by a text first, then a number; rows with a NULL in either come last, together.
    QTest::newRow("two columns, NULLs")
        << "a text, b int, v text"
        << "RANGE (a, b)"
        << "SELECT CASE WHEN i % 11 = 0 THEN NULL ELSE chr(97 + i % 3) END,"
           " CASE WHEN i % 13 = 0 THEN NULL ELSE i END, 'v' || i FROM generate_series(1, 60) i"
        << 9 << 7;
    QTest::newRow("no rows") << "id int NOT NULL, v text"
                             << "RANGE (id)"
                             << "SELECT 1, 'x' WHERE false" << 7 << 1;
}

void TestKeyWalk::everyRowOnce()
{
    QFETCH(QString, columns);
    QFETCH(QString, partitionBy);
    QFETCH(QString, rowsSql);
    QFETCH(int, chunkRows);
    QFETCH(int, chunks);
    // The remote rows need not keep to the partition's bounds: a remote server does not check
    // them, and the walk must not rely on them.
    exec({"DROP TABLE IF EXISTS kw.walked",
          QStringLiteral("CREATE TABLE kw.walked (%1) PARTITION BY %2").arg(columns, partitionBy),
          "CREATE TABLE kw.walked_default PARTITION OF kw.walked DEFAULT"});
    const QString failure = ShardedTable::makeForeign(
        TestDatabase::settings(), "kw", "walked_far", columns,
        partitionBy.contains(',') ? "OF kw.walked FOR VALUES FROM ('a', 0) TO ('z', 0)"
                                  : "OF kw.walked FOR VALUES FROM (0) TO (100)",
        {"INSERT INTO kw.walked_far " + rowsSql});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    const QList<KeyedRelation> relations = keyed("walked");
    QCOMPARE(relations.size(), 1);
    QStringList keyForms, keyNames;
    for (const RowIdentity::Column &column : relations[0].key) {
        keyForms << "format('%s', t." + column.name + ")";
        keyNames << column.name;
    }
    DbSession session(TestDatabase::settings());
    KeyWalk walk(relations);
    QStringList seen;
    int count = 0;
    while (const std::optional<KeyChunk> chunk = walk.next(session, chunkRows)) {
        ++count;
        QSqlQuery rows = session.exec(
            QStringLiteral("SELECT v, concat_ws('|', %1) FROM ONLY"
                           " kw.walked_far t WHERE %2 ORDER BY %3")
                .arg(keyForms.join(", "), chunk->conditionSql("t"), keyNames.join(", ")));
        int n = 0;
        while (rows.next()) {
            seen << rows.value(0).toString();
            // Past the rows asked for, only rows that share the key at the chunk's end; the
            // rows with a NULL in the key come in one chunk, however many.
            if (++n > chunkRows && !chunk->nulls)
                QCOMPARE(rows.value(1).toString(), chunk->through.join('|'));
        }
    }
    QCOMPARE(count, chunks);
    const QStringList all =
        TestDatabase::column("SELECT v FROM ONLY kw.walked_far ORDER BY v", "<null>");
    seen.sort();
    QCOMPARE(seen, all);
}

QTEST_GUILESS_MAIN(TestKeyWalk)
#include "tst_keywalk.moc"
