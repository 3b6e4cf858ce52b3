#include "cli/progressprinter.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int BarWidth = 40;
constexpr qint64 WaitShownAfterMs = 2000;
constexpr qint64 WaitRepeatMs = 10000;

} // namespace

ProgressPrinter::ProgressPrinter() : terminal_(::isatty(STDERR_FILENO)) {}

void ProgressPrinter::show(int percent)
{
    percent = qBound(0, percent, 100);
    if (terminal_) {
        if (percent == shown_)
            return;
        shown_ = percent;
        const int filled = percent * BarWidth / 100;
        // Cleared to the line's end, where a longer wait line may have stood.
        write(QStringLiteral("\r[%1%2] %3%\x1b[K")
                  .arg(QString(filled, u'#'), QString(BarWidth - filled, u' '))
                  .arg(percent, 3));
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
    write(line + u'\n');
}

void ProgressPrinter::waiting(qint64 waitedMs, const QString &line)
{
    if (waitedMs < WaitShownAfterMs)
        return;
    if (terminal_) {
        // In the bar's place, the rest of the bar cleared; the bar comes back with the next
        // progress.
        write(QStringLiteral("\r") + line + QStringLiteral("\x1b[K"));
        barOpen_ = true;
        shown_ = -1;
        waitShownMs_ = waitedMs;
        return;
    }
    if (waitShownMs_ >= 0 && waitedMs >= waitShownMs_ && waitedMs - waitShownMs_ < WaitRepeatMs)
        return;
    waitShownMs_ = waitedMs;
    write(line + u'\n');
}

void ProgressPrinter::waitEnded()
{
    waitShownMs_ = -1;
    if (terminal_ && barOpen_) {
        write(QStringLiteral("\r\x1b[K"));
        barOpen_ = false;
    }
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
