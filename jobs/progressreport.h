// A long job's progress as its bar shows it: a percentage that never goes back, reported when it
// moves and at most once per interval, so that a job of many small steps does not flood the
// window with signals; the last report always goes out.
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>
#include <functional>

class ProgressReport
{
public:
    ProgressReport(std::function<void(int)> report, qint64 intervalMs)
        : report_(std::move(report)), intervalMs_(intervalMs)
    {
        clock_.start();
    }

    void operator()(int percent, bool last = false)
    {
        percent = qMax(percent, shown_);
        if (!last && (percent == shown_ || clock_.elapsed() < intervalMs_))
            return;
        clock_.restart();
        shown_ = percent;
        report_(percent);
    }

private:
    std::function<void(int)> report_;
    qint64 intervalMs_;
    QElapsedTimer clock_;
    int shown_ = -1;
};
