// Which database a change run wrote, beyond the name the user typed: the server's system
// identifier and the database's oid. A database dropped and made again under the same name has
// another oid, and another server (a staging copy reached through the same host and port) has
// another system identifier, so that the journal never offers the undo of a run in a database
// the run did not write.
#pragma once

#include <QString>

class DbSession;

struct DatabaseIdentity {
    // The server's system identifier (pg_control_system()), as text; empty where the role may
    // not read it (an administrator can take the right to run the function from everyone).
    QString systemIdentifier;
    // The database's oid; 0 when not known: a run recorded before the journal kept identities.
    quint32 databaseOid = 0;

    bool known() const { return databaseOid != 0; }

    // The session's database and server. Throws DbError when the database's oid cannot be read;
    // a system identifier the role may not read is left empty.
    static DatabaseIdentity Of(DbSession &session);

    friend bool operator==(const DatabaseIdentity &, const DatabaseIdentity &) = default;
};
