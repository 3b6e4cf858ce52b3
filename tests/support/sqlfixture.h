// The SQL of a test's fixtures, shared by the test classes: statements that must go through (the
// first that fails fails the test) and the first column of a query's rows, on the test's own
// connection db_ while it is open, else on a connection made for the call.
#pragma once

#include "testdatabase.h"

#include <QTest>

class SqlFixture
{
protected:
    void exec(const QStringList &statements) { exec(db_, statements); }
    void exec(QSqlDatabase &db, const QStringList &statements)
    {
        const QString error =
            db.isOpen() ? TestDatabase::exec(db, statements) : TestDatabase::exec(statements);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    // NULL reads "<NULL>" on the test's connection and "<null>" on one made for the call.
    QStringList column(const QString &sql)
    {
        return db_.isOpen() ? TestDatabase::column(db_, sql) : TestDatabase::column(sql);
    }

    QSqlDatabase db_;
};
