#include "db/connectionstring.h"

QString ConnectionString(const ConnectionSettings &settings)
{
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=") + settings.server +
           QStringLiteral(";Port=") + settings.port + QStringLiteral(";Uid=") + settings.user +
           QStringLiteral(";Pwd=") + settings.password + QStringLiteral(";Database=") +
           settings.database;
}
