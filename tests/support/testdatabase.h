// The test server that scripts/test starts, as the five connection values it hands over in
// RECASOR_TEST_* variables, and a plain QtSql connection to it for setting up fixtures.
#pragma once

#include "db/connectionsettings.h"
#include "db/connectionstring.h"
#include "serverenvironment.h"
#include "settings/settingsstore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

namespace TestDatabase {

inline bool available(QString *why = nullptr)
{
    for (const char *name : {"RECASOR_TEST_SERVER", "RECASOR_TEST_PORT", "RECASOR_TEST_USER",
                             "RECASOR_TEST_PASSWORD", "RECASOR_TEST_DATABASE"}) {
        if (!qEnvironmentVariableIsSet(name)) {
            if (why)
                *why = QStringLiteral("%1 is not set: these tests need the PostgreSQL server "
                                      "that scripts/test starts (run them through scripts/test)")
                           .arg(QLatin1String(name));
            return false;
        }
    }
    return true;
}

inline ConnectionSettings settings()
{
    return ServerFromEnvironment();
}

// Opens a fixture connection under a fresh name, to the test database or the one the values
// name; the caller removes it with close().
inline QSqlDatabase open(const ConnectionSettings &values = settings())
{
    const QString name = QStringLiteral("fixture-") + QUuid::createUuid().toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
    db.setDatabaseName(ConnectionString(values));
    if (!db.open())
        qWarning("fixture connection failed: %s", qPrintable(db.lastError().text()));
    return db;
}

inline void close(QSqlDatabase &db)
{
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

// Runs each statement; the first that fails is returned as its error text (empty on success).
inline QString exec(QSqlDatabase &db, const QStringList &statements)
{
    for (const QString &sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return sql + QStringLiteral(": ") + query.lastError().text();
    }
    return {};
}

// The same on a connection of its own, made and removed for the statements.
inline QString exec(const QStringList &statements)
{
    QSqlDatabase db = open();
    const QString failure = exec(db, statements);
    close(db);
    return failure;
}

// The same in the database the values name (another database of the test server).
inline QString execIn(const ConnectionSettings &values, const QStringList &statements)
{
    const QString connection = QStringLiteral("fixture-") + QUuid::createUuid().toString();
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connection);
        db.setDatabaseName(ConnectionString(values));
        failure = db.open() ? exec(db, statements) : db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return failure;
}

// The first column of the statement's rows as texts, NULL as nullText. A failure comes back as
// one entry "<failed: ...>", so that the comparison that uses it shows why.
inline QStringList column(QSqlDatabase &db, const QString &sql,
                          const QString &nullText = QStringLiteral("<NULL>"))
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {QStringLiteral("<failed: ") + query.lastError().text() + u'>'};
    QStringList values;
    while (query.next())
        values << (query.value(0).isNull() ? nullText : query.value(0).toString());
    return values;
}

// The same on a connection of its own, made and removed for the one statement.
inline QStringList column(const QString &sql, const QString &nullText = QStringLiteral("<null>"))
{
    QSqlDatabase db = open();
    const QStringList values = column(db, sql, nullText);
    close(db);
    return values;
}

// Stores the five connection values in the settings file, as the connection window does;
// false when one could not be stored.
inline bool store(const ConnectionSettings &s = settings())
{
    const std::pair<QString, QString> values[] = {{SettingsKeys::Server, s.server},
                                                  {SettingsKeys::Port, s.port},
                                                  {SettingsKeys::User, s.user},
                                                  {SettingsKeys::Password, s.password},
                                                  {SettingsKeys::Database, s.database}};
    bool stored = true;
    for (const auto &[key, value] : values)
        stored =
            SettingsStore::Save(SettingsKeys::Application, SettingsKeys::Section, key, value) &&
            stored;
    return stored;
}

} // namespace TestDatabase

// Fails the current test with a clear message when what the test needs is not there: `available`
// is a function that says so, and why not.
#define REQUIRE_AVAILABLE(available)                                                               \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!available(&why_))                                                                     \
            QFAIL(qPrintable(why_));                                                               \
    } while (false)

// The server variables.
#define REQUIRE_TEST_DATABASE() REQUIRE_AVAILABLE(TestDatabase::available)
