#include "ui/runhistorycommand.h"

#include "ui/callrepainting.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"
#include "ui/runhistorydialog.h"
#include "ui/undocommand.h"

#include <QAction>

RunHistoryCommand::RunHistoryCommand(MainWindow &window, Messages &messages, UndoCommand &undo,
                                     QObject *parent)
    : MenuCommand(window, messages, QStringLiteral("Run &History…"),
                  QStringLiteral("RunHistoryAction"), QKeySequence(Qt::CTRL | Qt::Key_H), parent),
      undo_(undo)
{
    connect(action_, &QAction::triggered, this, &RunHistoryCommand::showRunHistory);
}

void RunHistoryCommand::showRunHistory()
{
    if (window_.isBusy())
        return; // a task has the window; a queued shortcut opens nothing
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("RunHistory_Click"));
    RunHistoryDialog dialog(messages_, window_.connectionSettings(), &window_);
    // The journal's files are read off this thread: one may be large, or on a slow disk.
    if (!h.step(100, [&] {
            dialog.setEntries(CallRepainting([] { return ChangeJournal::Entries(); }));
        }))
        return;
    std::optional<JournalRun> chosen;
    connect(&dialog, &RunHistoryDialog::undoRequested, this,
            [&chosen](const JournalRun &run) { chosen = run; });
    h.step(102, [&] { dialog.exec(); });
    if (chosen)
        h.step(104, [&] { undo_.undoRun(chosen->id); });
}
