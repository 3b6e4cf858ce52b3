// Whether a session can be opened with the given values: true or false, silently; or, for the
// connection test, the reason why not.
#pragma once

#include "db/connectionsettings.h"

#include <QString>
#include <optional>

inline constexpr int InteractiveLoginTimeout = 15; // seconds

bool CanConnect(const ConnectionSettings &settings);

// Why no session can be opened with the values (ConnectFailureReason of the failure's text);
// nothing when one can.
std::optional<QString> ConnectFailure(const ConnectionSettings &settings);

// The reason in the text of a failed login, as the server or libpq gives it: without the tags
// of the driver manager ("[unixODBC][Driver Manager]"), libpq's "connection to server at …
// failed:", the server's "FATAL:" and the driver's own lead ("Could not connect to the
// server;"), and each line once (libpq repeats the reason for every address it tried).
QString ConnectFailureReason(const QString &text);
