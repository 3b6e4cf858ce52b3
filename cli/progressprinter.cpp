#include "cli/progressprinter.h"

#include "cli/output.h"
#include "jobs/jobtexts.h"

#include <cstdio>
#include <unistd.h>

namespace {

// Narrow enough that the bar, its figures and the time left fit a terminal of 80 columns.
constexpr int BarWidth = 20;
constexpr qint64 WaitShownAfterMs = 2000;
constexpr qint64 WaitRepeatMs = 10000;

} // namespace

ProgressPrinter::ProgressPrinter() : terminal_(::isatty(STDERR_FILENO))
{
    clock_.start();
}

void ProgressPrinter::show(int percent)
{
    percent = qBound(0, percent, 100);
    if (terminal_) {
        if (percent == shown_ && rows_ == rowsShown_)
            return;
        shown_ = percent;
        rowsShown_ = rows_;
        const int filled = percent * BarWidth / 100;
        QString line = QStringLiteral("\r[%1%2] %3%")
                           .arg(QString(filled, u'#'), QString(BarWidth - filled, u' '))
                           .arg(percent, 3);
        // The rows and the time left, once there is enough to tell.
        for (const QString &part : {rows_, TimeLeftText(clock_.elapsed(), percent)})
            if (!part.isEmpty())
                line += QStringLiteral(" · ") + part;
        // Blanks wipe what a longer line of before left.
        const qsizetype length = line.size();
        if (length < barLength_)
            line += QString(barLength_ - length, u' ');
        barLength_ = length;
        write(line);
        barOpen_ = true;
        return;
    }
    if (percent / 10 <= shown_)
        return;
    shown_ = percent / 10;
    write(QStringLiteral("Progress: %1%%2\n")
              .arg(percent)
              .arg(rows_.isEmpty() ? QString() : QStringLiteral(" · ") + rows_));
}

void ProgressPrinter::rows(qint64 done, qint64 total, bool estimated)
{
    rows_ = RowsDoneText(done, total, estimated);
    // On a terminal the rows move the bar's line also between two percentages.
    if (terminal_ && shown_ >= 0)
        show(shown_);
}

void ProgressPrinter::say(const QString &line)
{
    end();
    // A line may name the database's things.
    write((terminal_ ? Output::ForTerminal(line) : line) + u'\n');
}

void ProgressPrinter::waiting(qint64 waitedMs, const QString &line)
{
    // A line of its own, also on a terminal, where a line wider than the terminal could not be
    // redrawn in place.
    if (waitedMs < WaitShownAfterMs)
        return;
    if (waitShownMs_ >= 0 && waitedMs >= waitShownMs_ && waitedMs - waitShownMs_ < WaitRepeatMs)
        return;
    waitShownMs_ = waitedMs;
    say(line);
    if (terminal_)
        shown_ = -1; // the bar is drawn again with the next progress
}

void ProgressPrinter::waitEnded()
{
    waitShownMs_ = -1;
}

void ProgressPrinter::end()
{
    if (barOpen_)
        write(QStringLiteral("\n"));
    barOpen_ = false;
    barLength_ = 0;
}

void ProgressPrinter::write(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}
