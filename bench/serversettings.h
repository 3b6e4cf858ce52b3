// The server settings a benchmark's figures depend on, printed with them.
#pragma once

#include "db/dbsession.h"

#include <QSqlQuery>
#include <QString>
#include <QThread>

// "fsync=on synchronous_commit=on full_page_writes=on, 2 cores"
inline QString ServerSettingsLine(DbSession &session)
{
    QSqlQuery query = session.exec(
        QStringLiteral("SELECT 'fsync=' || current_setting('fsync') || ' synchronous_commit='"
                       " || current_setting('synchronous_commit') || ' full_page_writes='"
                       " || current_setting('full_page_writes')"));
    query.next();
    return QStringLiteral("%1, %2 cores")
        .arg(query.value(0).toString())
        .arg(QThread::idealThreadCount());
}
