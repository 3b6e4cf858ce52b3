// Another client of the test server that holds a lock while a task of the main window waits for
// it, and what the status line says of that wait.
#pragma once

#include "testdatabase.h"

#include "ui/mainwindow.h"
#include "ui/statusline.h"

class LockHolder
{
public:
    // A session known by that application name that runs the statements in a transaction of its
    // own, kept until the holder ends (30 s at the most, should a test stop half-way).
    LockHolder(const QString &application, const QStringList &statements)
        : application_(application)
    {
        error_ = TestDatabase::exec(db_, {"SET application_name = '" + application + "'",
                                          "SET idle_in_transaction_session_timeout = '30s'"});
        if (error_.isEmpty())
            pid_ = TestDatabase::column(db_, "SELECT pg_backend_pid()").value(0);
        if (error_.isEmpty())
            error_ = TestDatabase::exec(db_, QStringList{"BEGIN"} + statements);
    }
    ~LockHolder() { release(); }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

    // Empty when the lock is held.
    QString error() const { return error_; }

    void release()
    {
        if (!db_.isValid())
            return;
        TestDatabase::exec(db_, {"ROLLBACK"});
        TestDatabase::close(db_);
    }

    // What the status line says of the holder of a lock on that table.
    QString heldText(const QString &table) const
    {
        return " for a lock on " + table + " held by session " + pid_ + " (user " +
               TestDatabase::settings().user + ", application \"" + application_ + "\");";
    }

    // Waits until the window's status line says that its task waits for a lock; what it says
    // then, or what it said last, marked as never said.
    static QString WaitForLine(MainWindow &window)
    {
        const bool shown = QTest::qWaitFor(
            [&] { return window.statusLine().line().startsWith("Waiting "); }, 15000);
        return shown ? window.statusLine().line() : "(never said) " + window.statusLine().line();
    }

private:
    QString application_;
    QSqlDatabase db_ = TestDatabase::open();
    QString pid_;
    QString error_;
};
