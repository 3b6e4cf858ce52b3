// A long job's progress as its bar shows it: a percentage that never goes back, reported when it
// moves and at most once per interval, so that a job of many small steps does not flood the
// window with signals; the last report always goes out. The rows the job has done, and the rows
// it has in all, go out with it when it knows them.
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>
#include <functional>

class ProgressReport
{
public:
    // The rows done, the rows in all (0 when not known yet), and whether that whole is an
    // estimate that the job corrects as it goes.
    using RowsReport = std::function<void(qint64 done, qint64 total, bool estimated)>;

    ProgressReport(std::function<void(int)> report, qint64 intervalMs, RowsReport rows = {})
        : report_(std::move(report)), rowsReport_(std::move(rows)), intervalMs_(intervalMs)
    {
        clock_.start();
    }

    // The rows as they stand, reported with the next percentage that goes out.
    void rows(qint64 done, qint64 total, bool estimated)
    {
        rowsDone_ = done;
        rowsTotal_ = total;
        estimated_ = estimated;
    }

    void operator()(int percent, bool last = false)
    {
        percent = qMax(percent, shown_);
        const bool rowsMoved = rowsReport_ && rowsDone_ != rowsShown_;
        if (!last && ((percent == shown_ && !rowsMoved) || clock_.elapsed() < intervalMs_))
            return;
        clock_.restart();
        if (rowsMoved) {
            rowsShown_ = rowsDone_;
            rowsReport_(rowsDone_, rowsTotal_, estimated_);
        }
        if (percent != shown_ || last) {
            shown_ = percent;
            report_(percent);
        }
    }

private:
    std::function<void(int)> report_;
    RowsReport rowsReport_;
    qint64 intervalMs_;
    QElapsedTimer clock_;
    int shown_ = -1;
    qint64 rowsDone_ = 0, rowsTotal_ = 0, rowsShown_ = 0;
    bool estimated_ = false;
};
