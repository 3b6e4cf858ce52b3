// The ODBC connection string for the "PostgreSQL Unicode" driver.
#pragma once

#include "db/connectionsettings.h"

// The values go in as they stand: nothing is quoted, escaped or trimmed, and nothing is
// added, so the driver sees exactly what the user typed.
QString ConnectionString(const ConnectionSettings &settings);
