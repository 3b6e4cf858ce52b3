// The program with arguments: runs one command without any display and returns its exit code
// (see ExitCode). The windows are the program without arguments.
#pragma once

#include <QStringList>

class CliProgram
{
public:
    // The arguments without the program's name.
    static int Run(const QStringList &arguments);

private:
    static int RunCommand(const QStringList &arguments);
};
