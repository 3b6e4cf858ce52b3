// A job's progress on stderr: a bar redrawn in place when stderr is a terminal, and a plain line
// at each further tenth otherwise (a log, a cron mail), so that stdout keeps the result alone.
#pragma once

#include <QElapsedTimer>
#include <QString>

class ProgressPrinter
{
public:
    ProgressPrinter(); // a bar when stderr is a terminal
    explicit ProgressPrinter(bool terminal) : terminal_(terminal) { clock_.start(); }

    void show(int percent);
    // The rows done and of how many, shown with the next percentage.
    void rows(qint64 done, qint64 total, bool estimated);
    // A line of its own between the bar's redraws ("Stopping…").
    void say(const QString &line);
    // A statement of the job has waited so long for another client's lock, and the line says
    // whose. Shown from two seconds on, as a line when the wait is first shown and every further
    // ten seconds.
    void waiting(qint64 waitedMs, const QString &line);
    // The wait shown has ended.
    void waitEnded();
    // The job has ended: the bar's line is closed.
    void end();

private:
    void write(const QString &text);

    bool terminal_;
    QElapsedTimer clock_; // since the job began
    int shown_ = -1;      // the percent, or for lines the tenth, shown last
    bool barOpen_ = false;
    qsizetype barLength_ = 0; // of the bar's line shown last
    QString rows_, rowsShown_;
    qint64 waitShownMs_ = -1; // of the wait going on, when it was last shown
};
