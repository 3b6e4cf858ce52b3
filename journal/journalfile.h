// One SQLite connection (QtSql's QSQLITE driver) to one journal file, for the thread that makes
// it: opened by the constructor, closed by the destructor. The file must exist already, so that
// it is never made here with other modes than the journal gives its files.
#pragma once

#include "db/namedconnection.h"
#include "journal/journalerror.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

class JournalFile
{
public:
    // How much a commit waits for the disk. Full: the commit is on the disk when it returns, so
    // that it outlasts a crash of the program and of the machine. Normal: it outlasts a crash of
    // the program; for what can be lost without harm.
    enum class Sync { Full, Normal };

    // Failures are reported as failures of the given action.
    JournalFile(const QString &path, JournalError::Action action, Sync sync = Sync::Full);

    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

    // Runs a statement with its ? markers bound in order; throws JournalError.
    QSqlQuery exec(const QString &sql, const QVariantList &values = {});

    // Whether the file's table has the column: files of an older layout lack some.
    bool hasColumn(const QString &table, const QString &column);

    // A transaction that takes the file's write lock at once; rollback() never throws.
    void begin() { exec(QStringLiteral("BEGIN IMMEDIATE")); }
    void commit() { exec(QStringLiteral("COMMIT")); }
    void rollback();

private:
    JournalError failure(const QString &reason) const { return JournalError(action_, reason); }

    JournalError::Action action_;
    NamedConnection db_;
};
