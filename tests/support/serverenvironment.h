// The PostgreSQL server that scripts/test and scripts/bench start, as the five connection
// values they hand over in RECASOR_TEST_* variables. Shared by the tests and the benchmarks.
#pragma once

#include "db/connectionsettings.h"

#include <QtGlobal>

inline ConnectionSettings ServerFromEnvironment()
{
    return {qEnvironmentVariable("RECASOR_TEST_SERVER"), qEnvironmentVariable("RECASOR_TEST_PORT"),
            qEnvironmentVariable("RECASOR_TEST_USER"),
            qEnvironmentVariable("RECASOR_TEST_PASSWORD"),
            qEnvironmentVariable("RECASOR_TEST_DATABASE")};
}
