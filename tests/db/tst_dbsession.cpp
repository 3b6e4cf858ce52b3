// The database session and the silent connection check against the test server, through
// unixODBC and the PostgreSQL Unicode driver: values reach the server exactly as typed, failures
// carry the driver's text and SQLSTATE, and the login time-out ends a silent server.
#include "db/cancelgroup.h"
#include "db/canconnect.h"
#include "db/dbsession.h"
#include "scratchdatabase.h"

#include <QElapsedTimer>
#include <QTest>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A TCP port on 127.0.0.1. Listening, the kernel accepts connections that nobody ever
// answers: a server that hangs at login. Closed, connections are refused.
class LocalPort
{
public:
    explicit LocalPort(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        if (!listening) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LocalPort()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LocalPort(const LocalPort &) = delete;
    LocalPort &operator=(const LocalPort &) = delete;

    QString port() const { return QString::number(port_); }
    bool valid() const { return port_ != 0; }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

const QString InjectedTable = QStringLiteral("tst_dbsession_injected");

// Roles and databases whose names and passwords hold what a connection string must quote.
struct Login {
    const char *row;
    QString user;
    QString password;
    QString database; // empty: the test database
};

const QList<Login> &Logins()
{
    static const QList<Login> logins = {
        {"separators", "tst_dbsession_semi", "a;b}c{d=e'f\"g", {}},
        {"braces", "tst_dbsession_braces", "{br}", {}},
        {"blanks", " tst_dbsession lead", " blank pw ", {}},
        {"another database in the password", "tst_dbsession_db", "x;Database=postgres", {}},
        {"percent encoding", "tst_dbsession_plus", "a+b%41", {}},
        {"semicolon in the user", "tst_dbsession u;Port=1", "pw", {}},
        {"semicolon in the database", {}, {}, "tst_dbsession semi;colon"},
        {"database in braces", {}, {}, "{tst_dbsession}"},
    };
    return logins;
}

QString adminExec(const QStringList &statements)
{
    QSqlDatabase admin = TestDatabase::open();
    const QString failure = TestDatabase::exec(admin, statements);
    TestDatabase::close(admin);
    return failure;
}

QStringList dropRolesAndDatabases()
{
    QStringList statements{QStringLiteral("DROP TABLE IF EXISTS ") + InjectedTable};
    for (const Login &login : Logins()) {
        if (!login.user.isEmpty())
            statements << QStringLiteral("DROP ROLE IF EXISTS ") + QuoteIdentifier(login.user);
        if (!login.database.isEmpty())
            statements << QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)")
                              .arg(QuoteIdentifier(login.database));
    }
    return statements;
}

} // namespace

class TestDbSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void valuesReachTheDriverUnchanged();
    void valuesLogInAsTyped_data();
    void valuesLogInAsTyped();
    void valuesAddNothing_data();
    void valuesAddNothing();
    void failureCarriesDriverTextAndSqlState();
    void lostConnectionShowsTheServerText();
    void driverTrailersAreLeftOut_data();
    void driverTrailersAreLeftOut();
    void statementTimeoutCancels();
    void cancelFromAnotherThread();
    void sessionIsRemovedOnEveryPath();
    void canConnect_data();
    void canConnect();
    void connectFailureReason_data();
    void connectFailureReason();
    void loginTimeoutEndsASilentServer();
    void searchPathIsHardened_data();
    void searchPathIsHardened();
};

void TestDbSession::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    QStringList statements = dropRolesAndDatabases();
    for (const Login &login : Logins()) {
        if (!login.user.isEmpty())
            statements << QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2")
                              .arg(QuoteIdentifier(login.user), QuoteLiteral(login.password));
        if (!login.database.isEmpty())
            statements << QStringLiteral("CREATE DATABASE ") + QuoteIdentifier(login.database);
    }
    const QString failure = adminExec(statements);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestDbSession::cleanupTestCase()
{
    if (TestDatabase::available())
        adminExec(dropRolesAndDatabases());
}

void TestDbSession::valuesReachTheDriverUnchanged()
{
    // Blanks that the driver does not ignore show in its own error text.
    ConnectionSettings values = TestDatabase::settings();
    values.database.prepend(u' ');
    try {
        DbSession session(values);
        QFAIL("a database name with a leading blank must not open the test database");
    } catch (const DbError &error) {
        QVERIFY2(error.text().contains(u'"' + values.database + u'"'), qPrintable(error.text()));
    }
    values = TestDatabase::settings();
    values.server.prepend(u' ');
    try {
        DbSession session(values);
        QFAIL("a server name with a leading blank must not reach the test server");
    } catch (const DbError &error) {
        QVERIFY2(error.text().contains(u'"' + values.server + u'"'), qPrintable(error.text()));
    }
}

void TestDbSession::valuesLogInAsTyped_data()
{
    QTest::addColumn<ConnectionSettings>("values");
    for (const Login &login : Logins()) {
        ConnectionSettings values = TestDatabase::settings();
        if (!login.user.isEmpty()) {
            values.user = login.user;
            values.password = login.password;
        }
        if (!login.database.isEmpty())
            values.database = login.database;
        QTest::newRow(login.row) << values;
    }
}

void TestDbSession::valuesLogInAsTyped()
{
    QFETCH(ConnectionSettings, values);
    DbSession session(values);
    QSqlQuery query =
        session.exec(QStringLiteral("select current_user, current_database(), inet_server_port()"));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), values.user);
    QCOMPARE(query.value(1).toString(), values.database);
    QCOMPARE(query.value(2).toString(), values.port);
}

void TestDbSession::valuesAddNothing_data()
{
    QTest::addColumn<ConnectionSettings>("values");
    const ConnectionSettings good = TestDatabase::settings();
    const QString settings =
        QStringLiteral(";ConnSettings=CREATE TABLE %1(i int)").arg(InjectedTable);
    ConnectionSettings values = good;
    values.password += settings;
    QTest::newRow("statement after the password") << values;
    values = good;
    values.database += settings;
    QTest::newRow("statement after the database") << values;
    values = good;
    values.database = QStringLiteral("postgres");
    values.password += QStringLiteral(";Database=") + good.database;
    QTest::newRow("database after the password") << values;
    const LocalPort closed(false);
    values = good;
    values.port = closed.port();
    values.password += QStringLiteral(";Port=") + good.port;
    QTest::newRow("port after the password") << values;
    values = good;
    values.port = closed.port();
    values.server += QStringLiteral(";Port=") + good.port;
    QTest::newRow("port after the server") << values;
}

void TestDbSession::valuesAddNothing()
{
    QFETCH(ConnectionSettings, values);
    // Each value is wrong as a whole, so no session may open, and nothing may run.
    QVERIFY_THROWS_EXCEPTION(DbError, DbSession{values});
    DbSession session(TestDatabase::settings());
    QSqlQuery query = session.exec(
        QStringLiteral("select to_regclass(%1) is null").arg(QuoteLiteral(InjectedTable)));
    QVERIFY(query.next());
    QVERIFY2(query.value(0).toBool(), "a connection value ran a statement");
}

void TestDbSession::failureCarriesDriverTextAndSqlState()
{
    // The server's own text and nothing after it.
    const QString Missing =
        QStringLiteral("ERROR: relation \"tst_dbsession_no_such_table\" does not exist");
    {
        DbSession session(TestDatabase::settings());
        try {
            session.exec(QStringLiteral("select * from tst_dbsession_no_such_table"));
            QFAIL("selecting from a missing table must fail");
        } catch (const DbError &error) {
            QCOMPARE(error.text(), Missing);
            QCOMPARE(error.sqlState(), QStringLiteral("42P01"));
            QCOMPARE(QString::fromStdString(error.what()), error.text());
        }
        try {
            session.execute(QStringLiteral("delete from tst_dbsession_no_such_table where 1 = ?"),
                            {1});
            QFAIL("a prepared statement on a missing table must fail");
        } catch (const DbError &error) {
            QCOMPARE(error.text(), Missing);
        }
        try {
            session.execute(QStringLiteral("selec 1"));
            QFAIL("a syntax error must fail");
        } catch (const DbError &error) {
            QVERIFY2(error.text().contains(QLatin1String("syntax error")),
                     qPrintable(error.text()));
            QCOMPARE(error.sqlState(), QStringLiteral("42601"));
        }
    }
    ConnectionSettings values = TestDatabase::settings();
    values.password += QStringLiteral("-wrong");
    try {
        DbSession session(values);
        QFAIL("a wrong password must not open a session");
    } catch (const DbError &error) {
        QVERIFY2(error.text().contains(QLatin1String("password authentication failed")),
                 qPrintable(error.text()));
    }
}

void TestDbSession::lostConnectionShowsTheServerText()
{
    DbSession session(TestDatabase::settings());
    QSqlQuery query = session.exec(QStringLiteral("select pg_backend_pid()"));
    QVERIFY(query.next());
    const QString failure =
        adminExec({QStringLiteral("select pg_terminate_backend(%1)").arg(query.value(0).toInt())});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    try {
        session.exec(QStringLiteral("select 1"));
        QFAIL("a statement on a terminated session must fail");
    } catch (const DbError &error) {
        QCOMPARE(error.text(),
                 QStringLiteral("FATAL: terminating connection due to administrator command"));
    }
}

void TestDbSession::driverTrailersAreLeftOut_data()
{
    // Texts as the driver gives them (QSqlError::databaseText) for failures that the test
    // server cannot be made to show without harm to other sessions.
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<QString>("expected");
    QTest::newRow("server gone") << "server closed the connection unexpectedly\n\tThis probably "
                                    "means the server terminated abnormally\n\tbefore or while "
                                    "processing the request.\n;\nThe connection has been lost "
                                 << "server closed the connection unexpectedly\n\tThis probably "
                                    "means the server terminated abnormally\n\tbefore or while "
                                    "processing the request.";
    QTest::newRow("separator in the server's text")
        << "ERROR: a;\nb;\nError while executing the query "
        << "ERROR: a;\nb";
    QTest::newRow("the driver's text alone")
        << "The # of IPD parameters 1 < 2 the # of parameter markers "
        << "The # of IPD parameters 1 < 2 the # of parameter markers";
}

void TestDbSession::driverTrailersAreLeftOut()
{
    QFETCH(QString, driverText);
    QFETCH(QString, expected);
    const QSqlError error(QStringLiteral("QODBC: Unable to execute statement"), driverText,
                          QSqlError::StatementError);
    QCOMPARE(DbSession::errorFrom(error).text(), expected);
}

void TestDbSession::statementTimeoutCancels()
{
    DbSession::Options options;
    options.statementTimeout = 1;
    DbSession session(TestDatabase::settings(), options);
    try {
        session.exec(QStringLiteral("select pg_sleep(30)"));
        QFAIL("the statement must be cancelled by the statement time-out");
    } catch (const DbError &error) {
        QCOMPARE(error.sqlState(), QStringLiteral("57014"));
    }
    QSqlQuery query = session.exec(QStringLiteral("show statement_timeout"));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("1s"));
}

void TestDbSession::cancelFromAnotherThread()
{
    // A statement waiting on the server (here: sleeping; in a run: a row lock) comes back as
    // soon as another thread cancels its group, and the session takes no further statement.
    DbSession::Options options;
    options.cancellable = true;
    DbSession session(TestDatabase::settings(), options);
    CancelGroup group(TestDatabase::settings());
    const CancelMembership membership(group, session);
    QString state;
    std::thread waiter([&] {
        try {
            session.exec(QStringLiteral("select pg_sleep(60)"));
        } catch (const DbError &error) {
            state = error.sqlState();
        }
    });
    QTest::qWait(300);
    QElapsedTimer clock;
    clock.start();
    group.cancelRunning();
    waiter.join();
    QCOMPARE(state, QStringLiteral("57014"));
    QVERIFY2(clock.elapsed() < 10000, "the statement ran on after the cancel");
    QVERIFY_THROWS_EXCEPTION(DbError, session.exec(QStringLiteral("select 1")));
}

void TestDbSession::sessionIsRemovedOnEveryPath()
{
    const QStringList before = QSqlDatabase::connectionNames();
    {
        DbSession session(TestDatabase::settings());
        QCOMPARE(QSqlDatabase::connectionNames().size(), before.size() + 1);
        QVERIFY(session.database().isOpen());
    }
    QCOMPARE(QSqlDatabase::connectionNames(), before);

    ConnectionSettings values = TestDatabase::settings();
    values.database += QStringLiteral("_missing");
    QVERIFY_THROWS_EXCEPTION(DbError, DbSession{values});
    QCOMPARE(QSqlDatabase::connectionNames(), before);

    try {
        DbSession session(TestDatabase::settings());
        session.exec(QStringLiteral("select 1/0"));
        QFAIL("division by zero must fail");
    } catch (const DbError &error) {
        QCOMPARE(error.sqlState(), QStringLiteral("22012"));
    }
    QCOMPARE(QSqlDatabase::connectionNames(), before);
}

void TestDbSession::canConnect_data()
{
    // The reason's first line, as the server or libpq gives it without what the driver puts
    // around it.
    QTest::addColumn<ConnectionSettings>("values");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("reason");
    const ConnectionSettings good = TestDatabase::settings();
    QTest::newRow("test server") << good << true << QString();
    ConnectionSettings values = good;
    values.password += QStringLiteral("x");
    QTest::newRow("wrong password")
        << values << false
        << QStringLiteral("password authentication failed for user \"%1\"").arg(good.user);
    values = good;
    values.database = QStringLiteral("tst_dbsession_no_such_database");
    QTest::newRow("unknown database")
        << values << false
        << QStringLiteral("database \"tst_dbsession_no_such_database\" does not exist");
    const LocalPort closed(false);
    values = good;
    values.port = closed.port();
    QTest::newRow("closed port") << values << false << QStringLiteral("Connection refused");
    values = good;
    values.server = QStringLiteral("no-such-host.invalid");
    QTest::newRow("unknown host")
        << values << false
        << QStringLiteral("could not translate host name \"no-such-host.invalid\" to address");
    values = good;
    values.port = QStringLiteral("port");
    QTest::newRow("port that is no number")
        << values << false
        << QStringLiteral("invalid integer value \"port\" for connection option \"port\"");
}

void TestDbSession::canConnect()
{
    QFETCH(ConnectionSettings, values);
    QFETCH(bool, expected);
    QFETCH(QString, reason);
    QCOMPARE(CanConnect(values), expected);
    const std::optional<QString> failure = ConnectFailure(values);
    QCOMPARE(failure.has_value(), !expected);
    if (failure)
        QVERIFY2(failure->startsWith(reason), qPrintable(*failure));
}

void TestDbSession::connectFailureReason_data()
{
    // Texts as the driver gives them for failures that the test server does not show: a login
    // time-out, more than one address tried, a driver that is not there.
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<QString>("expected");
    QTest::newRow("time-out")
        << "connection to server at \"10.1.2.3\", port 5432 failed: timeout expired"
        << "timeout expired";
    QTest::newRow("every address refused")
        << "connection to server at \"localhost\" (::1), port 1 failed: Connection refused\n"
           "\tIs the server running on that host and accepting TCP/IP connections?\n"
           "connection to server at \"localhost\" (127.0.0.1), port 1 failed: Connection "
           "refused\n\tIs the server running on that host and accepting TCP/IP connections?"
        << "Connection refused\nIs the server running on that host and accepting TCP/IP "
           "connections?";
    QTest::newRow("driver manager")
        << "[unixODBC][Driver Manager]Can't open lib 'PostgreSQL Unicode' : file not found"
        << "Can't open lib 'PostgreSQL Unicode' : file not found";
    QTest::newRow("driver's lead")
        << "Could not connect to the server;\nFATAL:  database \"x\" does not exist"
        << "database \"x\" does not exist";
    QTest::newRow("nothing but noise") << "[unixODBC]"
                                       << "[unixODBC]";
}

void TestDbSession::connectFailureReason()
{
    QFETCH(QString, driverText);
    QFETCH(QString, expected);
    QCOMPARE(ConnectFailureReason(driverText), expected);
}

void TestDbSession::loginTimeoutEndsASilentServer()
{
    const LocalPort silent(true);
    QVERIFY(silent.valid());
    ConnectionSettings values = TestDatabase::settings();
    values.port = silent.port();

    // Without a login time-out these calls would wait for the server's answer for ever.
    DbSession::Options options;
    options.loginTimeout = 2;
    QVERIFY_THROWS_EXCEPTION(DbError, DbSession(values, options));
    QCOMPARE(InteractiveLoginTimeout, 15);
    QVERIFY(!CanConnect(values));
}

void TestDbSession::searchPathIsHardened_data()
{
    QTest::addColumn<bool>("pooler"); // through PgBouncer, which refuses options at login
    QTest::newRow("server") << false;
    QTest::newRow("connection pooler") << true;
}

// Whatever search path the role's settings give, every session's is the hardened one.
void TestDbSession::searchPathIsHardened()
{
    QFETCH(bool, pooler);
    ConnectionSettings values = TestDatabase::settings();
    if (pooler) {
        values.port = qEnvironmentVariable("RECASOR_TEST_POOLER_PORT");
        QVERIFY2(!values.port.isEmpty(), "RECASOR_TEST_POOLER_PORT is not set: scripts/test "
                                         "starts the pooler");
    }
    const QString role = values.user;
    QCOMPARE(TestDatabase::exec(
                 {"ALTER ROLE " + QuoteIdentifier(role) + " SET search_path = public, pg_catalog"}),
             QString());
    QString path;
    try {
        DbSession session(values);
        QSqlQuery query = session.exec(QStringLiteral("SHOW search_path"));
        path = query.next() ? query.value(0).toString() : QStringLiteral("<none>");
    } catch (const DbError &error) {
        path = error.text();
    }
    QCOMPARE(TestDatabase::exec({"ALTER ROLE " + QuoteIdentifier(role) + " RESET search_path"}),
             QString());
    QCOMPARE(path.remove(u' '), QStringLiteral("pg_catalog,pg_temp"));
}

QTEST_GUILESS_MAIN(TestDbSession)
#include "tst_dbsession.moc"
