#include "db/dbsession.h"

#include "db/connectionstring.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>

#include <sql.h>
#include <sqlext.h>

namespace {

// QODBC keeps the SQLSTATE of a failure to itself; the diagnostic record is still on the
// ODBC handle after the failed call, so it is read from there.
QString sqlStateOf(const QVariant &handle, SQLSMALLINT handleType)
{
    if (!handle.isValid() || qstrcmp(handle.typeName(), "void*") != 0)
        return {};
    SQLHANDLE odbcHandle = *static_cast<SQLHANDLE const *>(handle.constData());
    if (!odbcHandle)
        return {};
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[8];
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRecW(handleType, odbcHandle, 1, state, &native, message,
                                        SQLSMALLINT(std::size(message)), &length);
    if (!SQL_SUCCEEDED(rc))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(state), 5);
}

} // namespace

QString DbSession::HardenedServerOptions()
{
    // The user's own PGOPTIONS, which libpq would otherwise take, are kept.
    const QString own = qEnvironmentVariable("PGOPTIONS").trimmed();
    return (own.isEmpty() ? QString() : own + u' ') +
           QStringLiteral("-c search_path=pg_catalog,pg_temp -c standard_conforming_strings=on");
}

DbSession::DbSession(const ConnectionSettings &settings) : DbSession(settings, Options{}) {}

DbSession::DbSession(const ConnectionSettings &settings, const Options &options)
    : db_(QStringLiteral("QODBC"), QStringLiteral("recasor-session-"))
{
    // First, so that a value the driver cannot be given is refused before anything is tried.
    const QString hardened = ConnectionString(settings, HardenedServerOptions());
    if (!db_->isValid())
        throw DbError(QStringLiteral("The ODBC database driver of Qt (QODBC) is not available."));
    if (options.loginTimeout > 0)
        db_->setConnectOptions(
            QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(options.loginTimeout));
    const QString protocol =
        options.ownTransactions ? QStringLiteral(";Protocol=7.4-1") : QString();
    db_->setDatabaseName(hardened + protocol);
    if (!db_->open()) {
        // A pooler in front of the server (PgBouncer) may refuse options at login; then the
        // search path is set by the first statement instead.
        if (!db_->lastError().databaseText().contains(
                QLatin1String("unsupported startup parameter")))
            throw errorFrom(db_->lastError(), sqlStateOf(db_->driver()->handle(), SQL_HANDLE_DBC));
        db_->setDatabaseName(ConnectionString(settings) + protocol);
        if (!db_->open())
            throw errorFrom(db_->lastError(), sqlStateOf(db_->driver()->handle(), SQL_HANDLE_DBC));
        execute(QStringLiteral("SET search_path = pg_catalog, pg_temp"));
        execute(QStringLiteral("SET standard_conforming_strings = on"));
    }
    if (options.cancellable) {
        QSqlQuery pid = exec(QStringLiteral("SELECT pg_backend_pid()"));
        if (pid.next())
            backendPid_ = pid.value(0).toLongLong();
    }
    if (options.statementTimeout > 0)
        execute(QStringLiteral("SET statement_timeout = '%1s'").arg(options.statementTimeout));
}

QSqlQuery DbSession::exec(const QString &sql)
{
    throwIfCancelled();
    QSqlQuery query(*db_);
    query.setForwardOnly(true);
    executing_ = true;
    const bool ok = query.exec(sql);
    executing_ = false;
    if (!ok)
        fail(query);
    return query;
}

void DbSession::endTransaction(bool commit)
{
    execEvenIfCancelled(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
}

void DbSession::awaitDurableCommits()
{
    // A transaction with an id of its own commits in the session's starting setting, and the
    // server then flushes its log up to that commit, which lies past every earlier one. A
    // standby commits nothing and gives no transaction an id: there is nothing to wait for.
    for (const QString &sql :
         {QStringLiteral("ROLLBACK"), QStringLiteral("BEGIN"),
          QStringLiteral("SET LOCAL synchronous_commit TO DEFAULT"),
          QStringLiteral("SELECT CASE WHEN NOT pg_is_in_recovery() THEN txid_current() END"),
          QStringLiteral("COMMIT")})
        execEvenIfCancelled(sql);
}

void DbSession::execEvenIfCancelled(const QString &sql)
{
    QSqlQuery query(*db_);
    if (!query.exec(sql))
        throw StatementFailure(query);
}

void DbSession::fail(const QSqlQuery &query) const
{
    const DbError error = StatementFailure(query);
    throwIfCancelled();
    throw error;
}

void DbSession::throwIfCancelled() const
{
    if (cancelled_.load())
        throw DbError(QStringLiteral("The statement was cancelled."), QStringLiteral("57014"));
}

bool DbSession::IsCancellation(const DbError &error)
{
    return error.sqlState() == QLatin1String("57014");
}

qint64 DbSession::execute(const QString &sql)
{
    QSqlQuery query = exec(sql);
    return query.numRowsAffected();
}

qint64 DbSession::execute(const QString &sql, const QVariantList &values)
{
    return exec(sql, values).numRowsAffected();
}

QSqlQuery DbSession::exec(const QString &sql, const QVariantList &values)
{
    throwIfCancelled();
    QSqlQuery query(*db_);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        fail(query);
    for (const QVariant &value : values)
        query.addBindValue(value);
    executing_ = true;
    const bool ok = query.exec();
    executing_ = false;
    // A statement that went through stands, even when a cancel came too late for it.
    if (!ok)
        fail(query);
    return query;
}

DbError DbSession::StatementFailure(const QSqlQuery &query)
{
    return errorFrom(query.lastError(), sqlStateOf(query.result()->handle(), SQL_HANDLE_STMT));
}

DbError DbSession::errorFrom(const QSqlError &error, const QString &sqlState)
{
    // psqlODBC writes the server's text first and then, after ";" and a line break, one line
    // of its own that says nothing more: "Error while executing the query", "Error while
    // preparing parameters", "The connection has been lost" and the like. The server's text
    // of a lost connection ends in a line break itself, which leaves a line with a lone ";".
    // Only the server's text is kept; a text of the driver's alone stays as it is.
    QString text = error.databaseText().trimmed();
    const qsizetype trailer = text.lastIndexOf(QStringLiteral(";\n"));
    if (trailer > 0) {
        const QString server = text.first(trailer).trimmed();
        if (!server.isEmpty())
            text = server;
    }
    if (text.endsWith(u';'))
        text.chop(1);
    if (text.isEmpty())
        text = error.text().trimmed();
    return DbError(text, sqlState);
}
