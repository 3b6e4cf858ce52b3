// A command that cannot go on: the exit code and the message for stderr. Thrown by the checks
// before a job starts, so that bad input ends the command before anything is written.
#pragma once

#include "cli/exitcode.h"

#include <QString>
#include <stdexcept>

class CommandFailure : public std::runtime_error
{
public:
    CommandFailure(ExitCode code, const QString &message)
        : std::runtime_error(message.toStdString()), code_(code), message_(message)
    {
    }

    ExitCode code() const { return code_; }
    const QString &message() const { return message_; }

private:
    ExitCode code_;
    QString message_;
};
