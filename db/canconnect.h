// Whether a session can be opened with the given values: true or false, silently.
#pragma once

#include "db/connectionsettings.h"

inline constexpr int InteractiveLoginTimeout = 15; // seconds

bool CanConnect(const ConnectionSettings &settings);
