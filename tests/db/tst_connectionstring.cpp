// The connection string, and the whole chain from it through unixODBC and the PostgreSQL
// Unicode driver to the test server.
#include "db/connectionstring.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QTest>

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void exactText();
    void valuesPassUnchanged();
    void opensTheTestServer();
};

void TestConnectionString::exactText()
{
    QCOMPARE(ConnectionString({"db.local", "5433", "anna", "pw", "sales"}),
             "Driver={PostgreSQL Unicode};Server=db.local;Port=5433;Uid=anna;Pwd=pw;"
             "Database=sales");
    QCOMPARE(ConnectionString({}), "Driver={PostgreSQL Unicode};Server=;Port=;Uid=;Pwd=;Database=");
}

void TestConnectionString::valuesPassUnchanged()
{
    QCOMPARE(ConnectionString({" host ", "5432", "u", "a;b={c}", "d"}),
             "Driver={PostgreSQL Unicode};Server= host ;Port=5432;Uid=u;Pwd=a;b={c};Database=d");
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
