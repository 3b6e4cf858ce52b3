// A database of its own for one test program on the test server: created fresh on start,
// dropped at the end, so each program's tables and roles cannot meet another's.
#pragma once

#include "db/sqlquote.h"
#include "testdatabase.h"

#include <QStringList>

class ScratchDatabase
{
public:
    explicit ScratchDatabase(const QString &name) : name_(name)
    {
        QSqlDatabase admin = TestDatabase::open();
        error_ = TestDatabase::exec(
            admin, {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quoted()),
                    QStringLiteral("CREATE DATABASE %1").arg(quoted())});
        TestDatabase::close(admin);
    }

    ~ScratchDatabase()
    {
        QSqlDatabase admin = TestDatabase::open();
        TestDatabase::exec(
            admin, {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quoted())});
        TestDatabase::close(admin);
    }

    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    // Empty when the database was made; else the failing statement and its error.
    const QString &error() const { return error_; }

    ConnectionSettings settings() const
    {
        ConnectionSettings values = TestDatabase::settings();
        values.database = name_;
        return values;
    }

    // Runs the statements in this database; the first failure's text, or empty.
    QString exec(const QStringList &statements) const
    {
        return TestDatabase::execIn(settings(), statements);
    }

private:
    QString quoted() const { return QuoteIdentifier(name_); }

    QString name_;
    QString error_;
};
