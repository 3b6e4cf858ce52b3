#include "cli/progressprinter.h"

#include "cli/output.h"
#include "jobs/jobtexts.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int BarWidth = 40;
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
        if (percent == shown_)
            return;
        shown_ = percent;
        const int filled = percent * BarWidth / 100;
        // The time left, once there is enough to tell; blanks wipe a longer text of before.
        const QString left = TimeLeftText(clock_.elapsed(), percent);
        write(QStringLiteral("\r[%1%2] %3% %4")
                  .arg(QString(filled, u'#'), QString(BarWidth - filled, u' '))
                  .arg(percent, 3)
                  .arg(left.isEmpty() ? QString() : QStringLiteral("· ") + left, -20));
        barOpen_ = true;
        return;
    }
    if (percent / 10 <= shown_)
        return;
    shown_ = percent / 10;
    write(QStringLiteral("Progress: %1%\n").arg(percent));
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
}

void ProgressPrinter::write(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}
