// The table and field listings against a database of their own on the test server: user
// tables only, each with its schema, sorted by schema and name; fields in column order without
// reading a row; awkward names quoted safely.
#include "db/catalogue.h"
#include "db/dberror.h"
#include "scratchdatabase.h"
#include "shardedtable.h"

#include <QTest>

namespace {

const TableRef Weird{QStringLiteral("Sales"), QStringLiteral("we\"ird ta;ble")};
const TableRef Customers{QStringLiteral("public"), QStringLiteral("Kunden Übersicht")};
const TableRef PublicOrders{QStringLiteral("public"), QStringLiteral("orders")};
const TableRef SalesOrders{QStringLiteral("Sales"), QStringLiteral("orders")};
const TableRef NoColumns{QStringLiteral("public"), QStringLiteral("Empty Shape")};
const TableRef Hidden{QStringLiteral("off path"), QStringLiteral("zeta")};
const TableRef DottedSchema{QStringLiteral("a.b"), QStringLiteral("c")};
const TableRef DottedName{QStringLiteral("a"), QStringLiteral("b.c")};

QSet<QString> keys(const QList<TableRef> &tables)
{
    QSet<QString> result;
    for (const TableRef &table : tables)
        result.insert(table.schema + u'\n' + table.name);
    return result;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { db_.reset(); }

    void listsUserTablesWithTheirSchemas();
    void leavesOutSystemSchemas();
    void foreignTablesOnlyThroughTheirParent();
    void listsFieldsInColumnOrder();
    void fieldListingReadsNoRow();
    void eachActionUsesTheValuesItIsGiven();

private:
    std::unique_ptr<ScratchDatabase> db_;
};

void TestCatalogue::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    db_ = std::make_unique<ScratchDatabase>(QStringLiteral("recasor_tst_catalogue"));
    QVERIFY2(db_->error().isEmpty(), qPrintable(db_->error()));
    // Written out by hand, not with the quoting helper, so the two check each other.
    const QString failure = db_->exec({
        "CREATE SCHEMA \"off path\"",
        "CREATE TABLE \"off path\".zeta (z int)",
        "CREATE SCHEMA \"Sales\"",
        "CREATE TABLE \"Sales\".\"we\"\"ird ta;ble\" (\"Fïeld \"\"x\"\"\" text, \"Größe Zahl\" "
        "int, "
        "\"ID\" int)",
        "CREATE TABLE \"Kunden Übersicht\" (\"Name\" text, dropped int, \"Straße\" text)",
        "ALTER TABLE \"Kunden Übersicht\" DROP COLUMN dropped",
        "ALTER TABLE \"Kunden Übersicht\" ADD COLUMN \"Ort ✓\" text",
        "CREATE TABLE orders (id int, total numeric)",
        "CREATE TABLE \"Sales\".orders (code text)",
        "CREATE TABLE \"Empty Shape\" ()",
        "CREATE SCHEMA \"a.b\"",
        "CREATE TABLE \"a.b\".c (v text)",
        "CREATE SCHEMA a",
        "CREATE TABLE a.\"b.c\" (v text)",
        "INSERT INTO \"Sales\".\"we\"\"ird ta;ble\" VALUES ('a', 1, 1)",
        "CREATE VIEW failing_rows AS SELECT 1 / (n - n) AS boom FROM generate_series(1, 3) n",
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestCatalogue::listsUserTablesWithTheirSchemas()
{
    // Sorted by schema, then name, in the database's collation (C.UTF-8 on the test server);
    // the tables were made out of that order.
    const QList<TableRef> tables = ListTables(db_->settings());
    QCOMPARE(tables, QList<TableRef>({SalesOrders, Weird, DottedName, DottedSchema, Hidden,
                                      NoColumns, Customers, PublicOrders}));

    QStringList shown;
    for (const TableRef &table : tables)
        shown << table.displayName();
    QCOMPARE(shown,
             QStringList({"Sales.orders", "Sales.\"we\"\"ird ta;ble\"", "a.\"b.c\"", "\"a.b\".c",
                          "off path.zeta", "Empty Shape", "Kunden Übersicht", "orders"}));
    QCOMPARE((TableRef{"public", "x.y"}.displayName()), "\"x.y\"");
}

void TestCatalogue::leavesOutSystemSchemas()
{
    // The test user is a superuser, so pg_tables lists the system catalogues and the
    // information-schema tables too.
    for (const ConnectionSettings &values : {db_->settings(), TestDatabase::settings()}) {
        const QList<TableRef> tables = ListTables(values);
        for (const TableRef &table : tables) {
            QVERIFY2(table.schema != QLatin1String("pg_catalog") &&
                         table.schema != QLatin1String("information_schema"),
                     qPrintable(table.schema + u'.' + table.name));
        }
    }
    QSqlDatabase fixture = TestDatabase::open();
    QSqlQuery query(fixture);
    QVERIFY(query.exec("select count(*) from pg_tables where schemaname in "
                       "('pg_catalog', 'information_schema')"));
    QVERIFY(query.next());
    QVERIFY(query.value(0).toInt() > 0);

    // Another session's temporary table is listed by pg_tables but cannot be read from here.
    QVERIFY(query.exec("create temporary table someone_elses_scratch (v text)"));
    for (const TableRef &table : ListTables(TestDatabase::settings()))
        QVERIFY2(table.name != QLatin1String("someone_elses_scratch"), qPrintable(table.schema));
    query = QSqlQuery();
    TestDatabase::close(fixture);
}

void TestCatalogue::foreignTablesOnlyThroughTheirParent()
{
    // A stand-alone foreign table is not offered; a partitioned table with a foreign partition
    // is, and its fields are listed through the remote server.
    REQUIRE_REMOTE_DATABASE();
    QString failure = db_->exec({"CREATE SCHEMA shard"});
    if (failure.isEmpty())
        failure = ShardedTable::makeForeign(db_->settings(), "shard", "alone", "v text", {});
    if (failure.isEmpty())
        failure = ShardedTable::make(db_->settings(), "shard", "people", 2, 3);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QSet<QString> shard;
    for (const TableRef &table : ListTables(db_->settings())) {
        if (table.schema == QLatin1String("shard"))
            shard << table.name;
    }
    QCOMPARE(shard, (QSet<QString>{"people", "people_local"}));
    QCOMPARE(ListFields(db_->settings(), {"shard", "people"}), (QStringList{"id", "name"}));
    QVERIFY2(db_->exec({"DROP SCHEMA shard CASCADE"}).isEmpty(), "dropped");
    QVERIFY2(ShardedTable::dropRemote("shard").isEmpty(), "dropped remotely");
}

void TestCatalogue::listsFieldsInColumnOrder()
{
    const ConnectionSettings values = db_->settings();
    QCOMPARE(ListFields(values, Weird), QStringList({"Fïeld \"x\"", "Größe Zahl", "ID"}));
    QCOMPARE(ListFields(values, Customers), QStringList({"Name", "Straße", "Ort ✓"}));
    // Same name, different schema: each listing opens its own table.
    QCOMPARE(ListFields(values, PublicOrders), QStringList({"id", "total"}));
    QCOMPARE(ListFields(values, SalesOrders), QStringList({"code"}));
    // Outside the search path.
    QCOMPARE(ListFields(values, Hidden), QStringList({"z"}));
    QCOMPARE(ListFields(values, NoColumns), QStringList());
}

void TestCatalogue::fieldListingReadsNoRow()
{
    // Every row of this view fails when it is computed, so only a listing that asks for no row
    // succeeds.
    const TableRef failing{QStringLiteral("public"), QStringLiteral("failing_rows")};
    QCOMPARE(ListFields(db_->settings(), failing), QStringList({"boom"}));
    QVERIFY(!db_->exec({"SELECT * FROM failing_rows"}).isEmpty());
}

void TestCatalogue::eachActionUsesTheValuesItIsGiven()
{
    const QStringList connectionsBefore = QSqlDatabase::connectionNames();
    QVERIFY(!keys(ListTables(TestDatabase::settings())).contains(keys({Weird}).values().first()));
    try {
        ListFields(TestDatabase::settings(), Weird);
        QFAIL("the table lives only in the scratch database");
    } catch (const DbError &error) {
        QCOMPARE(error.sqlState(), QStringLiteral("42P01"));
        QVERIFY2(error.text().contains(QLatin1String("we\"ird ta;ble")), qPrintable(error.text()));
    }
    ConnectionSettings wrong = db_->settings();
    wrong.password += QStringLiteral("-wrong");
    QVERIFY_THROWS_EXCEPTION(DbError, ListTables(wrong));
    QVERIFY_THROWS_EXCEPTION(DbError, ListFields(wrong, Weird));
    // No session outlives its action, on success or failure.
    QCOMPARE(QSqlDatabase::connectionNames(), connectionsBefore);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
