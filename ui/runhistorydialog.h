// "Run History…": the runs the journal holds, newest first, each with its time, database,
// table, fields, change and options, the rows it wrote and what became of it; a file of the
// journal that cannot be read stands where its run would, with why. "Undo" takes back the
// selected run of the window's database, as the window's own undo does, once the dialog has
// closed; "Export Changes…" writes what the selected run wrote as CSV.
//
// The handlers are methods a test can call without the dialog's modal loop; the file dialog
// behind "Export Changes…" can be replaced as well.
#pragma once

#include "db/connectionsettings.h"
#include "journal/changejournal.h"

#include <QDialog>
#include <functional>
#include <optional>

class Messages;
class QLabel;
class QPushButton;
class QTreeWidget;

class RunHistoryDialog : public QDialog
{
    Q_OBJECT

public:
    // The runs of every database are listed; those of `current`'s database may be undone.
    RunHistoryDialog(Messages &messages, const ConnectionSettings &current,
                     QWidget *parent = nullptr);

    // Lists the journal's entries; the selection stays on the run it was on where it can.
    void setEntries(const QList<JournalEntry> &entries);

    // Selects the entry of that id; false when none is listed.
    bool select(qint64 id);
    // The run selected, when its journal could be read.
    std::optional<JournalRun> selectedRun() const;

    // "Undo": the selected run is to be undone; the dialog closes first.
    void undoSelected();
    // "Export Changes…": the selected run's changes to a file the user chooses.
    void exportSelected();

    // The file to export to: asked by a file dialog; empty when none is chosen.
    std::function<QString(const JournalRun &run)> chooseExportFile;

signals:
    void undoRequested(const JournalRun &run);

private:
    void selectionChanged();
    // The entry of the item selected; none when none is.
    const JournalEntry *selectedEntry() const;
    // Why the selected run cannot be undone from here; empty when it can.
    QString whyNotUndoable(const JournalRun &run) const;

    Messages &messages_;
    ConnectionSettings current_;
    QList<JournalEntry> entries_;
    QTreeWidget *runs_;
    QLabel *detail_;
    QPushButton *undo_;
    QPushButton *export_;
};
