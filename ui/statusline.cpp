#include "ui/statusline.h"

#include "ui/statustexts.h"
#include "ui/windowhelpers.h"

namespace {

// A wait this long is more than a busy table's usual moment.
constexpr qint64 ShownAfterMs = 2000;

} // namespace

StatusLine::StatusLine(QWidget *parent) : QLabel(parent)
{
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
    setLine(QString());
}

void StatusLine::taskNote(const QString &note)
{
    note_ = note;
    setLine(note);
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
    note_.clear();
    setLine(outcome);
}

void StatusLine::setStandingNote(const QString &note)
{
    standing_ = note;
    setLine(shown_);
}

void StatusLine::setLine(const QString &text)
{
    shown_ = text;
    const QString line = standing_.isEmpty() ? text
                         : text.isEmpty()    ? standing_
                                             : standing_ + QStringLiteral(" · ") + text;
    line_ = line;
    // A few pixels to spare: the last letter's overhang is drawn beyond its advance.
    const QString shown =
        fontMetrics().elidedText(line, Qt::ElideRight, contentsRect().width() - 4);
    setText(shown);
    setToolTip(shown == line ? QString() : PlainToolTip(line));
}

void StatusLine::showWait(quint64 token, const LockWait &wait)
{
    if (token == token_ && wait.waitedMs >= ShownAfterMs)
        setLine(LockWaitStatus(wait, table_));
}

void StatusLine::waitEnded(quint64 token)
{
    if (token == token_)
        setLine(note_);
}
