// One database session for one user action: opened by the constructor, closed by the
// destructor on every path out of the action, never stored or shared between threads.
//
// It sits on QtSql's QODBC driver over unixODBC and the "PostgreSQL Unicode" driver. QODBC
// gives everything the actions need (UTF-16 text both ways, forward-only results, bound
// values, the login time-out, the driver's error texts), so there is no layer of our own over
// the ODBC API; only the SQLSTATE of a failure, which QODBC does not pass on, is read from the
// ODBC handle directly. Each session has a connection name of its own, removed when the
// session ends.
//
// Every session is hardened as pg_dump hardens its own: its search path is pg_catalog, then
// pg_temp, set at login, before the driver's own first statement, and over any default that the
// database or the role sets. Tables, types and the program's own functions are named through
// their schemas, so that no function, operator or cast that a table's owner plants in a schema
// of theirs can capture a statement of the program's, or of the driver's.
#pragma once

#include "db/connectionsettings.h"
#include "db/dberror.h"
#include "db/namedconnection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <atomic>

class DbSession
{
public:
    struct Options {
        // Seconds to wait for the server at login; 0 leaves the driver's default.
        int loginTimeout = 15;
        // Seconds a statement may run before the server cancels it; 0 for no limit.
        int statementTimeout = 0;
        // The driver sets a savepoint before each statement inside a transaction, to roll
        // back that statement alone on an error. A session that manages its own transactions
        // (the change run's, which export and import snapshots) does without: an error then
        // rolls back the whole transaction.
        bool ownTransactions = false;
        // Whether another session may cancel this one's statements (it then knows its server
        // process).
        bool cancellable = false;
    };

    // The options a session sends to the server at login: the hardened search path, and strings
    // read as the standard says (a backslash is a character like any other), as the program
    // reads the user's own SQL (sqlscan.h).
    static QString HardenedServerOptions();

    // Opens the session; throws DbError with the driver's text when it cannot.
    explicit DbSession(const ConnectionSettings &settings);
    DbSession(const ConnectionSettings &settings, const Options &options);

    DbSession(const DbSession &) = delete;
    DbSession &operator=(const DbSession &) = delete;

    // Runs a statement and returns its forward-only result; throws DbError on failure.
    QSqlQuery exec(const QString &sql);

    // Runs a statement whose result is not needed; returns the number of rows it affected.
    qint64 execute(const QString &sql);

    // The same with values bound to the statement's ? markers, in order: the values travel
    // apart from the SQL text and need no quoting.
    qint64 execute(const QString &sql, const QVariantList &values);
    QSqlQuery exec(const QString &sql, const QVariantList &values);

    // Ends the transaction begun with "BEGIN": COMMIT or ROLLBACK. Unlike a statement it is
    // sent also after cancel(), and it is not a statement in flight that a stop cancels: a
    // transaction whose work is done and recorded commits whole. Throws DbError.
    void endTransaction(bool commit);

    // Waits until every transaction that committed on the server before the call, in any
    // session, is as durable as the session's own setting of synchronous_commit asks when it
    // starts (on disk, and on the synchronous standbys): writers that commit without waiting
    // for the disk are made durable together so. A transaction left open is rolled back first.
    // Like endTransaction(), sent also after cancel(). Throws DbError.
    void awaitDurableCommits();

    QSqlDatabase &database() { return *db_; }

    // May be called from any thread: every later statement of the session fails at once with
    // the SQLSTATE of a cancelled statement, so that the thread that owns the session comes
    // back promptly. A statement in flight is cancelled on the server by another session
    // (CancelGroup), which needs the two values below.
    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }
    bool isExecuting() const { return executing_.load(); }
    // The session's server process, when the options asked for it; else 0.
    qint64 backendPid() const { return backendPid_; }

    // The SQLSTATE a cancelled statement fails with.
    static bool IsCancellation(const DbError &error);

    // The DbError for a failed QtSql operation: the driver's text and the SQLSTATE.
    static DbError errorFrom(const QSqlError &error, const QString &sqlState = QString());

    // The DbError of a statement that failed on the query, with the SQLSTATE.
    static DbError StatementFailure(const QSqlQuery &query);

private:
    // Throws the failure of the statement on the query.
    [[noreturn]] void fail(const QSqlQuery &query) const;
    void throwIfCancelled() const;
    // Runs a statement whose result is not needed, also after cancel(); throws DbError.
    void execEvenIfCancelled(const QString &sql);

    NamedConnection db_;
    qint64 backendPid_ = 0;
    std::atomic<bool> executing_{false};
    std::atomic<bool> cancelled_{false};
};
