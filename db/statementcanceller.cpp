#include "db/statementcanceller.h"

#include <QSqlError>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>

#include <chrono>

StatementCanceller::~StatementCanceller()
{
    if (watcher_.joinable())
        watcher_.join();
}

QSqlQuery StatementCanceller::exec(DbSession &session, const QString &sql)
{
    // Prepared first, so that the statement's handle is known before it executes.
    QSqlQuery query(session.database());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw DbSession::errorFrom(query.lastError());
    const QVariant handle = query.result()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "void*") != 0)
        throw DbError(QStringLiteral("The ODBC driver gave no statement handle."));
    {
        std::lock_guard lock(mutex_);
        if (cancelled_)
            throw DbError(QStringLiteral("canceling statement due to user request"));
        running_ = *static_cast<void *const *>(handle.constData());
    }
    HeldWarnings held;
    const bool executed = query.exec();
    {
        std::lock_guard lock(mutex_);
        running_ = nullptr;
    }
    ended_.notify_all();
    if (!executed)
        throw DbSession::StatementFailure(query, isCancelled(), held);
    return query;
}

void StatementCanceller::cancel()
{
    std::lock_guard lock(mutex_);
    if (cancelled_)
        return;
    cancelled_ = true;
    if (running_)
        SQLCancel(running_);
    // A request that reaches the driver just before the statement has begun to execute is
    // lost; a watcher repeats it until the statement has ended.
    watcher_ = std::thread([this] { watch(); });
}

bool StatementCanceller::isCancelled() const
{
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void StatementCanceller::watch()
{
    std::unique_lock lock(mutex_);
    while (running_) {
        if (ended_.wait_for(lock, std::chrono::milliseconds(100), [this] { return !running_; }))
            return;
        SQLCancel(running_);
    }
}
