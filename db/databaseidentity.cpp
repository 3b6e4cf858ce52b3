#include "db/databaseidentity.h"

#include "db/dbsession.h"

#include <QVariant>

DatabaseIdentity DatabaseIdentity::Of(DbSession &session)
{
    DatabaseIdentity identity;
    // The right to run the function is asked first: a statement that fails would end a
    // transaction the caller may be in, and fill the terminal with the driver's warning.
    QSqlQuery query = session.exec(
        QStringLiteral("SELECT d.oid::text, has_function_privilege("
                       "'pg_catalog.pg_control_system()', 'EXECUTE')"
                       " FROM pg_catalog.pg_database d WHERE d.datname = current_database()"));
    if (!query.next())
        throw DbError(QStringLiteral("The server did not say which database this is."));
    identity.databaseOid = query.value(0).toString().toUInt();
    const bool mayReadSystem = query.value(1).toBool();
    query = QSqlQuery();
    if (mayReadSystem) {
        query = session.exec(
            QStringLiteral("SELECT system_identifier::text FROM pg_catalog.pg_control_system()"));
        if (query.next())
            identity.systemIdentifier = query.value(0).toString();
    }
    return identity;
}
