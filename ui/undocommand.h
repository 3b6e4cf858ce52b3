// "Undo Last Change Run…" of the main window's Change menu: shows what the last change run of
// the window's database did, asks, and writes the old values back on a thread of its own while
// the window is busy with it ("Stop" ends it between two statements).
#pragma once

#include "journal/changejournal.h"
#include "journal/undorun.h"

#include "ui/menucommand.h"

#include <QObject>
#include <optional>

class UndoCommand : public MenuCommand
{
    Q_OBJECT

public:
    UndoCommand(MainWindow &window, Messages &messages, QObject *parent = nullptr);
    void undoLastChangeRun();

    // The question before the undo: what the run did.
    static QString ConfirmText(const JournalRun &run);
    // Why no run is undone: the newest journal file cannot be read.
    static QString UnreadableText(const QString &file, const QString &why);

signals:
    // An undo has ended and the window has shown its outcome.
    void undoEnded();

private:
    void start(const JournalRun &run);
    void undoFinished(const UndoSummary &summary);

    TableRef table_; // of the run being undone
};
