// The database session and the silent connection check against the test server, through
// unixODBC and the PostgreSQL Unicode driver: values reach the driver unchanged, failures
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

const QString LeadingBlankUser = QStringLiteral(" tst_dbsession lead");
const QString BlankPassword = QStringLiteral(" blank pw ");
const QString SemicolonUser = QStringLiteral("tst_dbsession_semi");
const QString SemicolonPassword = QStringLiteral("se;cret");

QString adminExec(const QStringList &statements)
{
    QSqlDatabase admin = TestDatabase::open();
    const QString failure = TestDatabase::exec(admin, statements);
    TestDatabase::close(admin);
    return failure;
}

QStringList dropRoles()
{
    return {QStringLiteral("DROP ROLE IF EXISTS ") + QuoteIdentifier(LeadingBlankUser),
            QStringLiteral("DROP ROLE IF EXISTS ") + QuoteIdentifier(SemicolonUser)};
}

QString currentUser(const ConnectionSettings &settings)
{
    DbSession session(settings);
    QSqlQuery query = session.exec(QStringLiteral("select current_user"));
    return query.next() ? query.value(0).toString() : QString();
}

} // namespace

class TestDbSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void valuesReachTheDriverUnchanged();
    void semicolonInPasswordIsNotEscaped();
    void failureCarriesDriverTextAndSqlState();
    void statementTimeoutCancels();
    void cancelFromAnotherThread();
    void sessionIsRemovedOnEveryPath();
    void canConnect_data();
    void canConnect();
    void loginTimeoutEndsASilentServer();
};

void TestDbSession::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    QStringList statements = dropRoles();
    statements << QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2")
                      .arg(QuoteIdentifier(LeadingBlankUser), QuoteLiteral(BlankPassword))
               << QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2")
                      .arg(QuoteIdentifier(SemicolonUser), QuoteLiteral(SemicolonPassword));
    const QString failure = adminExec(statements);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestDbSession::cleanupTestCase()
{
    if (TestDatabase::available())
        adminExec(dropRoles());
}

void TestDbSession::valuesReachTheDriverUnchanged()
{
    ConnectionSettings values = TestDatabase::settings();
    values.user = LeadingBlankUser;
    values.password = BlankPassword;
    QCOMPARE(currentUser(values), LeadingBlankUser);

    // Blanks that the driver does not ignore show in its own error text.
    values = TestDatabase::settings();
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

void TestDbSession::semicolonInPasswordIsNotEscaped()
{
    ConnectionSettings values = TestDatabase::settings();
    values.user = SemicolonUser;
    // Copied into the connection string as it stands, the driver ends the password at ";".
    values.password = SemicolonPassword;
    QVERIFY(!CanConnect(values));
    // So a user can write the value in the driver's braces, which arrive untouched.
    values.password = u'{' + SemicolonPassword + u'}';
    QCOMPARE(currentUser(values), SemicolonUser);
}

void TestDbSession::failureCarriesDriverTextAndSqlState()
{
    {
        DbSession session(TestDatabase::settings());
        try {
            session.exec(QStringLiteral("select * from tst_dbsession_no_such_table"));
            QFAIL("selecting from a missing table must fail");
        } catch (const DbError &error) {
            QVERIFY2(error.text().contains(
                         QLatin1String("relation \"tst_dbsession_no_such_table\" does not exist")),
                     qPrintable(error.text()));
            QCOMPARE(error.sqlState(), QStringLiteral("42P01"));
            QCOMPARE(QString::fromStdString(error.what()), error.text());
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
    QTest::addColumn<ConnectionSettings>("values");
    QTest::addColumn<bool>("expected");
    const ConnectionSettings good = TestDatabase::settings();
    QTest::newRow("test server") << good << true;
    ConnectionSettings values = good;
    values.password += QStringLiteral("x");
    QTest::newRow("wrong password") << values << false;
    values = good;
    values.database = QStringLiteral("tst_dbsession_no_such_database");
    QTest::newRow("unknown database") << values << false;
    const LocalPort closed(false);
    values = good;
    values.port = closed.port();
    QTest::newRow("closed port") << values << false;
    values = good;
    values.server = QStringLiteral("no-such-host.invalid");
    QTest::newRow("unknown host") << values << false;
}

void TestDbSession::canConnect()
{
    QFETCH(ConnectionSettings, values);
    QFETCH(bool, expected);
    QCOMPARE(CanConnect(values), expected);
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

QTEST_GUILESS_MAIN(TestDbSession)
#include "tst_dbsession.moc"
