// What a password in the keyring belongs to: a server, a port, a user and a database, each
// exactly as the user typed it. The keyring finds an entry by a key text made of the four.
#pragma once

#include <QString>

struct KeyringAccount {
    QString server;
    QString port;
    QString user;
    QString database;

    // "postgresql://user@server:port/database", each part percent-encoded (all but letters,
    // digits and "-._~"), so that no two accounts share a key whatever their texts hold: a
    // server named "a:1" with port "2" is not server "a" with port "1:2". The key is only ever
    // compared, never taken apart again.
    QString key() const;

    bool operator==(const KeyringAccount &) const = default;
};
