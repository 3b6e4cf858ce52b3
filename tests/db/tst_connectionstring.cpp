// The connection string, and the whole chain from it through unixODBC and the PostgreSQL
// Unicode driver to the test server.
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QTest>

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void exactText();
    void quotedOnlyWhereNeeded_data();
    void quotedOnlyWhereNeeded();
    void unsafeValuesAreRefused_data();
    void unsafeValuesAreRefused();
    void opensTheTestServer();
};

void TestConnectionString::exactText()
{
    QCOMPARE(ConnectionString({"db.local", "5433", "anna", "pw", "sales"}),
             "Driver={PostgreSQL Unicode};Server=db.local;Port=5433;Uid=anna;Pwd=pw;"
             "Database=sales");
    QCOMPARE(ConnectionString({}), "Driver={PostgreSQL Unicode};Server=;Port=;Uid=;Pwd=;Database=");
}

void TestConnectionString::quotedOnlyWhereNeeded_data()
{
    QTest::addColumn<ConnectionSettings>("values");
    QTest::addColumn<QString>("expected");
    const QString head = QStringLiteral("Driver={PostgreSQL Unicode};Server=");
    QTest::newRow("blanks and equals signs stay plain")
        << ConnectionSettings{" host ", "5432", "u=v", " a=b}c ", "d d"}
        << head + " host ;Port=5432;Uid=u=v;Pwd= a=b}c ;Database=d d";
    QTest::newRow("password with separators") << ConnectionSettings{"h", "1", "u", "a;b}c{d", "d"}
                                              << head + "h;Port=1;Uid=u;Pwd={a;b}}c{d};Database=d";
    QTest::newRow("password in braces") << ConnectionSettings{"h", "1", "u", "{br}", "d"}
                                        << head + "h;Port=1;Uid=u;Pwd={{br}}};Database=d";
    // The driver decodes an unquoted password as percent-encoding.
    QTest::newRow("password with + and %") << ConnectionSettings{"h", "1", "u", "a+b%41", "d"}
                                           << head + "h;Port=1;Uid=u;Pwd={a+b%41};Database=d";
    QTest::newRow("database with a semicolon")
        << ConnectionSettings{"h", "1", "u", "p", "semi;colon"}
        << head + "h;Port=1;Uid=u;Pwd=p;Database=;pqopt={dbname='semi;colon'}";
    QTest::newRow("several values through libpq")
        << ConnectionSettings{"h;x", "1", "{u}", "p", "it's;\\"}
        << head +
               ";Port=1;Uid=;Pwd=p;Database=;pqopt={host='h;x' user='{u}}' dbname='it\\'s;\\\\'}";
}

void TestConnectionString::quotedOnlyWhereNeeded()
{
    QFETCH(ConnectionSettings, values);
    QFETCH(QString, expected);
    QCOMPARE(ConnectionString(values), expected);
}

void TestConnectionString::unsafeValuesAreRefused_data()
{
    QTest::addColumn<ConnectionSettings>("values");
    QTest::newRow("null character")
        << ConnectionSettings{"h", "1", "u", QString::fromUtf16(u"p\0;x", 4), "d"};
    QTest::newRow("file data source") << ConnectionSettings{"h", "1", "u", "p", "sales.DSN"};
}

void TestConnectionString::unsafeValuesAreRefused()
{
    QFETCH(ConnectionSettings, values);
    QVERIFY_THROWS_EXCEPTION(DbError, ConnectionString(values));
}

void TestConnectionString::opensTheTestServer()
{
    REQUIRE_TEST_DATABASE();
    QSqlDatabase db = TestDatabase::open();
    QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
    {
        QSqlQuery query(db);
        QVERIFY2(query.exec("select 1"), qPrintable(query.lastError().text()));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 1);
    }
    TestDatabase::close(db);
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
