// The connection values of a command: those stored by the connection window, with the ones
// given on the command line instead; the password from PGPASSWORD, the password file, the
// system keyring, the settings file, or else asked for without echo on a terminal. Never from
// the arguments, where other users of the machine could read it.
#pragma once

#include "cli/commandline.h"
#include "db/connectionsettings.h"

#include <chrono>
#include <functional>

class ConnectionValues
{
public:
    // How long the keyring may take to answer before it is skipped, with one line on stderr.
    static constexpr std::chrono::seconds KeyringLimit{5};

    // `warn` takes the lines for stderr (a password file that may not be used, a keyring that
    // did not answer).
    static ConnectionSettings Of(const CommandRequest &request,
                                 const std::function<void(const QString &)> &warn);

    // The server, port, user and database alone, without a password: for the commands that
    // only name a database.
    static ConnectionSettings Target(const CommandRequest &request);

private:
    // The password typed on the terminal, without echo; none when stdin is no terminal.
    static std::optional<QString> Prompt(const ConnectionSettings &values);
};
