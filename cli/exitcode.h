// The command line's exit codes, which scripts and cron jobs test: the same numbers in the help
// text and the README.
#pragma once

enum class ExitCode {
    Done = 0,    // done
    Failed = 1,  // failed, with nothing or part written (the message says which)
    Usage = 2,   // the command line asks for something that is not there or not possible
    Refused = 3, // done, but some rows keep their old case: refused, or changed by another client
};

inline int ToInt(ExitCode code)
{
    return static_cast<int>(code);
}
