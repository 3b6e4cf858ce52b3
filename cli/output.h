// Where a command's texts go: the result on stdout (as text, or with --json as one JSON object),
// messages and failures on stderr prefixed "recasor:". In JSON mode a failure is also an object
// on stdout, so that a script reads one object whatever happened.
#pragma once

#include "cli/exitcode.h"

#include <QJsonObject>
#include <QString>

class Output
{
public:
    explicit Output(bool json) : json_(json) {}

    bool json() const { return json_; }

    // A line of the text result; nothing in JSON mode.
    void line(const QString &text = QString()) const;
    // A message for the user on stderr, in either mode.
    void note(const QString &text) const;
    // The JSON result, with the exit code added; nothing in text mode.
    void object(QJsonObject result, ExitCode code) const;
    // A failure: its message on stderr and, in JSON mode, {"error", "exitCode"}. Returns the code.
    int fail(ExitCode code, const QString &message) const;

    // Text for stdout outside a command's result (the help, the version).
    static void Print(const QString &text);

    // Text as a terminal is to show it: a name or value of the database may hold control
    // characters that a terminal would obey (move the cursor, retitle the window, ...), which
    // show as "?", as ls shows them; line breaks and tabs stay. Text for a pipe or a file is
    // left whole, for the program that reads it.
    static QString ForTerminal(const QString &text);
    // The command's exit code, or Failed when stdout could not be written (a full disk, a
    // closed pipe): the result did not reach its reader, which stderr then says, as coreutils do.
    static int Checked(int code);

private:
    bool json_;
};
