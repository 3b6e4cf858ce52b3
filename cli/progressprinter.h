// A job's progress on stderr: a bar redrawn in place when stderr is a terminal, and a plain line
// at each further tenth otherwise (a log, a cron mail), so that stdout keeps the result alone.
#pragma once

#include <QString>

class ProgressPrinter
{
public:
    ProgressPrinter(); // a bar when stderr is a terminal
    explicit ProgressPrinter(bool terminal) : terminal_(terminal) {}

    void show(int percent);
    // A line of its own between the bar's redraws ("Stopping…").
    void say(const QString &line);
    // The job has ended: the bar's line is closed.
    void end();

private:
    void write(const QString &text);

    bool terminal_;
    int shown_ = -1; // the percent, or for lines the tenth, shown last
    bool barOpen_ = false;
};
