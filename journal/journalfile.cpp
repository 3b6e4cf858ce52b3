#include "journal/journalfile.h"

#include <QSqlError>
#include <QUrl>

namespace {

QString reasonOf(const QSqlError &error)
{
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.text().trimmed() : database;
}

} // namespace

JournalFile::JournalFile(const QString &path, JournalError::Action action, Sync sync)
    : action_(action), db_(QStringLiteral("QSQLITE"), QStringLiteral("recasor-journal-"))
{
    if (!db_->isValid())
        throw failure(
            QStringLiteral("the SQLite database driver of Qt (QSQLITE) is not available"));
    // mode=rw: a file that is gone is an error, not a new file. Writers of the same file wait
    // for each other's transactions instead of failing.
    db_->setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=60000"));
    db_->setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                         QStringLiteral("?mode=rw"));
    if (!db_->open())
        throw failure(path + QStringLiteral(": ") + reasonOf(db_->lastError()));
    exec(sync == Sync::Full ? QStringLiteral("PRAGMA synchronous = FULL")
                            : QStringLiteral("PRAGMA synchronous = NORMAL"));
}

QSqlQuery JournalFile::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(*db_);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw failure(reasonOf(query.lastError()));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw failure(reasonOf(query.lastError()));
    return query;
}

bool JournalFile::hasColumn(const QString &table, const QString &column)
{
    return exec(QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name = ?"),
                {table, column})
        .next();
}

void JournalFile::rollback()
{
    QSqlQuery query(*db_);
    query.exec(QStringLiteral("ROLLBACK"));
}
