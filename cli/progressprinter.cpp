#include "cli/progressprinter.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int BarWidth = 40;

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
        write(QStringLiteral("\r[%1%2] %3%")
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
