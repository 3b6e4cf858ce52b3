// The ODBC connection string for the "PostgreSQL Unicode" driver.
#pragma once

#include "db/connectionsettings.h"

// The five values as the driver must read them back: exactly what the user typed, nothing
// more. A value that the driver reads as it stands goes in unchanged, so ordinary values give
// "Driver={PostgreSQL Unicode};Server=…;Port=…;Uid=…;Pwd=…;Database=…" and nothing else. A
// value that would end early, lose characters or add attributes of its own is quoted in the
// one form that the driver manager and the driver both take back unchanged. Throws DbError
// for a value that cannot be passed on safely at all. Server options, when given, go to the
// server at login (libpq's "options", as in PGOPTIONS), before the driver's first statement.
QString ConnectionString(const ConnectionSettings &settings,
                         const QString &serverOptions = QString());
