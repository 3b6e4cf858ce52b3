// The silent connection check of the start-up and of "Next >".
#include "db/canconnect.h"

#include "db/dbsession.h"

bool CanConnect(const ConnectionSettings &settings)
{
    // The start-up runs this before any window is usable, so an unreachable server must give
    // up within the login time-out instead of blocking for minutes.
    DbSession::Options options;
    options.loginTimeout = InteractiveLoginTimeout;
    try {
        DbSession session(settings, options);
        return true;
    } catch (const DbError &) {
        return false;
    }
}
