#include "ui/statusline.h"

#include "jobs/jobtexts.h"
#include "ui/statustexts.h"
#include "ui/windowhelpers.h"

#include <QPushButton>
#include <QResizeEvent>

namespace {

// A wait this long is more than a busy table's usual moment.
constexpr qint64 ShownAfterMs = 2000;

} // namespace

StatusLine::StatusLine(QWidget *parent) : QLabel(parent)
{
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("StatusStop"));
    stop_->setFocusPolicy(Qt::NoFocus);
    stop_->setToolTip(QStringLiteral("Stop (Esc)"));
    stop_->hide();
    connect(stop_, &QPushButton::clicked, this, &StatusLine::stopRequested);
    setObjectName(QStringLiteral("StatusLine"));
    // Like the menu bar, the line speaks in the desktop's own font.
    setFont(DesktopFont());
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setContentsMargins(4, 2, 4, 2);
    setTextFormat(Qt::PlainText);
    connect(&watcher_, &LockWaitWatcher::waiting, this, &StatusLine::showWait);
    connect(&watcher_, &LockWaitWatcher::waitEnded, this, &StatusLine::waitEnded);
}

void StatusLine::taskStarted()
{
    clock_.start();
    note_.clear();
    title_.clear();
    percent_ = -1;
    rows_.clear();
    stop_->show();
    placeStop();
    setLine(QString());
}

void StatusLine::taskTitle(const QString &title)
{
    title_ = title;
    if (!waiting_)
        showTask();
}

void StatusLine::taskProgress(int percent)
{
    percent_ = percent;
    if (!waiting_)
        showTask();
}

void StatusLine::taskRows(qint64 done, qint64 total, bool estimated)
{
    rows_ = RowsDoneText(done, total, estimated);
    if (!waiting_)
        showTask();
}

void StatusLine::showTask()
{
    // The figures matter most while a task goes on: where the whole line does not fit, they
    // stand without the title, which the tool tip gives with the rest.
    setLine(taskLine(true), taskLine(false));
}

QString StatusLine::taskLine(bool withTitle) const
{
    QStringList parts;
    if (percent_ >= 0) {
        parts << (title_.isEmpty() || !withTitle ? QString() : title_ + QStringLiteral(": ")) +
                     QStringLiteral("%1%").arg(percent_);
        if (!rows_.isEmpty())
            parts << rows_;
        if (const QString left = TimeLeftText(taskElapsedMs(), percent_); !left.isEmpty())
            parts << left;
    } else if (!title_.isEmpty()) {
        parts << title_;
    }
    if (!note_.isEmpty())
        parts << note_;
    return parts.join(QStringLiteral(" · "));
}

void StatusLine::taskNote(const QString &note)
{
    note_ = note;
    if (!waiting_)
        showTask();
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    placeStop();
    setLine(shown_, shorter_);
}

void StatusLine::placeStop()
{
    const int frame = frameWidth();
    const int buttonWidth = stop_->sizeHint().width();
    stop_->setGeometry(width() - frame - buttonWidth, frame, buttonWidth, height() - 2 * frame);
}

void StatusLine::watchLocks(const ConnectionSettings &settings,
                            std::shared_ptr<const CancelGroup> sessions, const TableRef &table)
{
    if (!sessions)
        return;
    table_ = table;
    token_ = watcher_.watch(settings, std::move(sessions));
}

void StatusLine::taskEnded(const QString &outcome)
{
    watcher_.unwatch();
    token_ = 0;
    waiting_ = false;
    note_.clear();
    stop_->hide();
    setLine(outcome);
}

void StatusLine::setStandingNote(const QString &note)
{
    standing_ = note;
    setLine(shown_, shorter_);
}

void StatusLine::setLine(const QString &text, const QString &shorter)
{
    shown_ = text;
    shorter_ = shorter;
    const QString line = standing_.isEmpty() ? text
                         : text.isEmpty()    ? standing_
                                             : standing_ + QStringLiteral(" · ") + text;
    line_ = line;
    // A few pixels to spare: the last letter's overhang is drawn beyond its advance; the Stop
    // button takes the right end while a task goes on.
    const int room =
        contentsRect().width() - 4 - (stop_->isHidden() ? 0 : stop_->sizeHint().width() + 4);
    QString shown = fontMetrics().elidedText(line, Qt::ElideRight, room);
    if (shown != line && !shorter.isEmpty())
        shown = fontMetrics().elidedText(
            standing_.isEmpty() ? shorter : standing_ + QStringLiteral(" · ") + shorter,
            Qt::ElideRight, room);
    setText(shown);
    setToolTip(shown == line ? QString() : PlainToolTip(line));
}

void StatusLine::showWait(quint64 token, const LockWait &wait)
{
    if (token == token_ && wait.waitedMs >= ShownAfterMs) {
        waiting_ = true;
        setLine(LockWaitStatus(wait, table_), LockWaitShortText(wait));
    }
}

void StatusLine::waitEnded(quint64 token)
{
    if (token == token_) {
        waiting_ = false;
        showTask();
    }
}
