// "Undo Last Change Run…" of the main window's Change menu: shows what the last change run of
// the window's database did, asks, and writes the old values back on a thread of its own while
// the window is busy with it ("Stop" ends it between two statements).
#pragma once

#include "journal/changejournal.h"
#include "journal/undorun.h"

#include "ui/menucommand.h"

#include <QObject>

class GuardedHandler;
#include <optional>

class UndoCommand : public MenuCommand
{
    Q_OBJECT

public:
    UndoCommand(MainWindow &window, Messages &messages, QObject *parent = nullptr);
    void undoLastChangeRun();
    // The run of that id, when it is a run of the window's database that may be undone: asks,
    // then undoes it as undoLastChangeRun() does.
    void undoRun(qint64 id);

    // The question before the undo: what the run did. `named` for a run the user chose, not
    // the last one.
    static QString ConfirmText(const JournalRun &run, bool named = false);
    // Why no run is undone: the newest journal file cannot be read.
    static QString UnreadableText(const QString &file, const QString &why);

signals:
    // An undo has ended and the window has shown its outcome.
    void undoEnded();

private:
    // Asks, then undoes the run; `handler` names the steps in a report.
    void confirmAndStart(GuardedHandler &h, const JournalRun &run, bool named);
    void start(const JournalRun &run);
    void undoFinished(const UndoSummary &summary);

    TableRef table_;   // of the run being undone
    QString goOnWith_; // the command that takes up an undo that ended early
};
