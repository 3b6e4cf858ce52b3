// Tables sharded across servers for the tests: a partitioned table on the test server whose
// partitions are a local table and a foreign table (postgres_fdw) whose rows live in a second
// database of the same server. scripts/test makes that database and names it, and the foreign
// server that reaches it, in RECASOR_TEST_REMOTE.
#pragma once

#include "db/sqlquote.h"
#include "testdatabase.h"

#include <QStringList>

namespace ShardedTable {

inline QString remoteName()
{
    return qEnvironmentVariable("RECASOR_TEST_REMOTE");
}

inline bool available(QString *why = nullptr)
{
    if (!TestDatabase::available(why))
        return false;
    if (remoteName().isEmpty()) {
        if (why)
            *why = QStringLiteral("RECASOR_TEST_REMOTE is not set: these tests need the second "
                                  "database that scripts/test makes (run them through it)");
        return false;
    }
    return true;
}

// The remote database, as a client would reach it directly.
inline ConnectionSettings remoteSettings()
{
    ConnectionSettings values = TestDatabase::settings();
    values.database = remoteName();
    return values;
}

inline QString execRemote(const QStringList &statements)
{
    return TestDatabase::execIn(remoteSettings(), statements);
}

// The foreign server of the remote database, with the test user's mapping, in the database the
// values name: scripts/test makes them in the test database, and a scratch database of a test
// needs its own. Error text, or empty.
inline QString reachRemote(const ConnectionSettings &local)
{
    const ConnectionSettings remote = remoteSettings();
    return TestDatabase::execIn(
        local, {QStringLiteral("CREATE EXTENSION IF NOT EXISTS postgres_fdw"),
                QStringLiteral("CREATE SERVER IF NOT EXISTS %1 FOREIGN DATA WRAPPER postgres_fdw"
                               " OPTIONS (host %2, port %3, dbname %4)")
                    .arg(QuoteIdentifier(remote.database), QuoteLiteral(remote.server),
                         QuoteLiteral(remote.port), QuoteLiteral(remote.database)),
                QStringLiteral("CREATE USER MAPPING IF NOT EXISTS FOR CURRENT_USER SERVER %1"
                               " OPTIONS (user %2, password %3)")
                    .arg(QuoteIdentifier(remote.database), QuoteLiteral(remote.user),
                         QuoteLiteral(remote.password))});
}

// A foreign table schema.name of the local database whose rows are those of the remote table of the
// same name, made there with the columns and filled by the statements given (run in the remote
// database). The foreign table takes part as the partition of the bounds (e.g. "OF s.t FOR VALUES
// FROM (1) TO (10)"), or stands alone with the columns when partitionOf is empty. Error text, or
// empty.
inline QString makeForeign(const ConnectionSettings &local, const QString &schema,
                           const QString &name, const QString &columns, const QString &partitionOf,
                           const QStringList &fill = {})
{
    const QString table = QualifiedName(schema, name);
    QString failure = execRemote(
        QStringList{QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(QuoteIdentifier(schema)),
                    QStringLiteral("DROP TABLE IF EXISTS %1").arg(table),
                    QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns)} +
        fill);
    if (failure.isEmpty())
        failure = reachRemote(local);
    if (failure.isEmpty())
        failure = TestDatabase::execIn(
            local,
            {QStringLiteral("CREATE FOREIGN TABLE %1 %2 SERVER %3"
                            " OPTIONS (schema_name %4, table_name %5)")
                 .arg(table,
                      partitionOf.isEmpty() ? u'(' + columns + u')'
                                            : QStringLiteral("PARTITION ") + partitionOf,
                      QuoteIdentifier(remoteName()), QuoteLiteral(schema), QuoteLiteral(name))});
    return failure;
}

// schema.name (id int NOT NULL, name text) PARTITION BY RANGE (id), in the local database: ids 1
// to localRows in the local partition name_local, the next foreignRows ids in the foreign
// partition name_far (whose remote table has the primary key id). Row i holds the value of the
// SQL expression of i. The schema must be there. Error text, or empty.
inline QString make(const ConnectionSettings &local, const QString &schema, const QString &name,
                    qint64 localRows, qint64 foreignRows,
                    const QString &valueSql = QStringLiteral("'name ' || i"))
{
    const QString parent = QualifiedName(schema, name);
    const qint64 split = localRows + 1, end = localRows + foreignRows + 1;
    QString failure = TestDatabase::execIn(
        local,
        {QStringLiteral("DROP TABLE IF EXISTS %1").arg(parent),
         QStringLiteral("CREATE TABLE %1 (id int NOT NULL, name text) PARTITION BY RANGE (id)")
             .arg(parent),
         QStringLiteral("CREATE TABLE %1 PARTITION OF %2 FOR VALUES FROM (1) TO (%3)")
             .arg(QualifiedName(schema, name + QStringLiteral("_local")), parent)
             .arg(split),
         QStringLiteral("INSERT INTO %1 SELECT i, %2 FROM generate_series(1, %3) i")
             .arg(parent, valueSql)
             .arg(localRows)});
    if (failure.isEmpty())
        failure = makeForeign(
            local, schema, name + QStringLiteral("_far"),
            QStringLiteral("id int NOT NULL PRIMARY KEY, name text"),
            QStringLiteral("OF %1 FOR VALUES FROM (%2) TO (%3)").arg(parent).arg(split).arg(end),
            {QStringLiteral("INSERT INTO %1 SELECT i, %2 FROM generate_series(%3, %4) i")
                 .arg(QualifiedName(schema, name + QStringLiteral("_far")), valueSql)
                 .arg(split)
                 .arg(end - 1)});
    return failure;
}

// Drops the schema in the remote database, with what the tests made there.
inline QString dropRemote(const QString &schema)
{
    return execRemote(
        {QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(QuoteIdentifier(schema))});
}

} // namespace ShardedTable

// Fails the current test with a clear message when the remote database is not there.
#define REQUIRE_REMOTE_DATABASE() REQUIRE_AVAILABLE(ShardedTable::available)
