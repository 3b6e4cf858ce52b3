// The password file of libpq (~/.pgpass, or the file PGPASSFILE names), so that a password
// kept there for psql serves the command line too: lines of host:port:database:user:password,
// "*" matching anything in the first four, "\" escaping ":" and "\", "#" starting a comment. As
// libpq does, a file that its group or others may read is not used, with a warning.
#pragma once

#include "db/connectionsettings.h"

#include <QString>
#include <optional>

class PgPass
{
public:
    // PGPASSFILE, else ~/.pgpass.
    static QString DefaultFile();

    // The password of the first line that matches the values; none when no line does, or the
    // file is missing or may not be used (then `warning` says why).
    static std::optional<QString> Find(const QString &file, const ConnectionSettings &values,
                                       QString &warning);
};
