#include "ui/undocommand.h"

#include "jobs/jobtexts.h"
#include "journal/runlock.h"
#include "journal/runtexts.h"
#include "journal/undotexts.h"
#include "run/changeruntexts.h"
#include "ui/callrepainting.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/statusline.h"
#include "ui/statustexts.h"

#include <QAction>
#include <tuple>

namespace {

const QString UndoHandler = QStringLiteral("UndoLastChangeRun_Click");

} // namespace

UndoCommand::UndoCommand(MainWindow &window, Messages &messages, QObject *parent)
    : MenuCommand(window, messages, QStringLiteral("&Undo Last Change Run…"),
                  QStringLiteral("UndoAction"), QKeySequence(Qt::CTRL | Qt::Key_Z), parent)
{
    connect(action_, &QAction::triggered, this, &UndoCommand::undoLastChangeRun);
}

void UndoCommand::undoLastChangeRun()
{
    if (window_.isBusy())
        return; // a run or another task goes: a queued shortcut starts nothing
    GuardedHandler h(messages_, MainWindowName, UndoHandler);
    std::optional<JournalRun> run;
    QString unreadable; // why the last run is not known
    // Which database the settings name now is asked of the server, off this thread. When that
    // fails, the report says why, and whether there is a run to undo is not known.
    if (!h.step(100, [&] {
            std::tie(run, unreadable) = CallRepainting([values = window_.connectionSettings()] {
                try {
                    return std::make_pair(ChangeJournal::Last(values), QString());
                } catch (const UnreadableJournal &journal) {
                    return std::make_pair(std::optional<JournalRun>(),
                                          UnreadableText(journal.file(), journal.why()));
                }
            });
        }))
        return;
    if (!unreadable.isEmpty()) {
        h.step(102, [&] { messages_.info(unreadable); });
        return;
    }
    if (run && run->holder) {
        h.step(102, [&] { messages_.info(RunBusyText(run->id, *run->holder)); });
        return;
    }
    if (!run) {
        h.step(102, [&] {
            messages_.info(QStringLiteral("There is no change run of this database to undo."));
        });
        return;
    }
    confirmAndStart(h, *run, false);
}

void UndoCommand::undoRun(qint64 id)
{
    if (window_.isBusy())
        return;
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("UndoRun_Click"));
    std::optional<JournalRun> run;
    QString refusal; // why the run is not undone
    // The journal and the database's identity are read off this thread, as the last run's are.
    if (!h.step(100, [&] {
            std::tie(run, refusal) = CallRepainting([values = window_.connectionSettings(), id] {
                try {
                    return std::make_pair(ChangeJournal::Run(id, values), QString());
                } catch (const UnreadableJournal &journal) {
                    return std::make_pair(
                        std::optional<JournalRun>(),
                        QStringLiteral("The run's journal cannot be read, and nothing is "
                                       "undone.\n\n%1\n%2")
                            .arg(journal.file(), journal.why()));
                }
            });
        }))
        return;
    if (refusal.isEmpty() && !run)
        refusal = ChangeJournal::RemovedByLimit(id)
                      ? QStringLiteral("The run's journal was removed when the %1-run limit was "
                                       "reached.")
                            .arg(ChangeJournal::KeptRuns)
                      : QStringLiteral("The run is not one of this database: its server, port "
                                       "and name, or the database's identity, are not those of "
                                       "the database connected to.");
    else if (refusal.isEmpty())
        refusal = UndoRefusalText(*run);
    if (!refusal.isEmpty()) {
        h.step(102, [&] { messages_.info(refusal); });
        return;
    }
    confirmAndStart(h, *run, true);
}

void UndoCommand::confirmAndStart(GuardedHandler &h, const JournalRun &run, bool named)
{
    bool confirmed = false;
    h.step(104,
           [&] { confirmed = messages_.confirm(ConfirmText(run, named), QStringLiteral("Undo")); });
    if (confirmed)
        h.step(106, [&] {
            // An undo that ends early goes on by the same way it was started.
            goOnWith_ = named ? QStringLiteral("Undo in Run History")
                              : QStringLiteral("Undo Last Change Run");
            start(run);
        });
}

void UndoCommand::start(const JournalRun &run)
{
    table_ = run.table;
    const ConnectionSettings settings = window_.connectionSettings();
    if (window_.jobs().start<UndoRun, UndoSummary>(
            new UndoRun(settings, run), settings, run.table, this,
            [this](const UndoSummary &summary) { undoFinished(summary); },
            [this](WorkerThread<UndoRun> &thread) {
                thread.forward(&UndoRun::cautioned, this, [this](const QStringList &owners) {
                    window_.statusLine().taskNote(UntrustedOwnersText(owners));
                });
            }))
        window_.statusLine().taskTitle(
            QStringLiteral("Undoing the change run of %1 (%2)")
                .arg(run.table.displayName(), run.fields.join(QStringLiteral(", "))));
}

void UndoCommand::undoFinished(const UndoSummary &summary)
{
    window_.statusLine().taskEnded(
        UndoStatus(summary, table_, window_.statusLine().taskElapsedMs()));
    GuardedHandler h(messages_, MainWindowName, UndoHandler);
    if (!summary.firstError.isEmpty())
        messages_.report(MainWindowName, UndoHandler, 108, summary.firstError);
    h.step(110, [&] { messages_.info(UndoClosingText(summary, goOnWith_)); });
    // The preview of the table shows its values as they are now.
    if (window_.shownTable() == table_)
        h.step(112, [&] { window_.previewField(); });
    emit undoEnded();
}

QString UndoCommand::UnreadableText(const QString &file, const QString &why)
{
    return QStringLiteral("The journal of the newest change run cannot be read, so which run "
                          "was the last is not known, and none is undone.\n\n%1\n%2\n\n"
                          "Move that file out of its folder to undo the run before it.")
        .arg(file, why);
}

QString UndoCommand::ConfirmText(const JournalRun &run, bool named)
{
    QString text =
        (named ? QStringLiteral("Undo this change run of the database?\n\n")
               : QStringLiteral("Undo the last change run of this database?\n\n")) +
        QStringLiteral("Table: %1\nField(s): %2\nMode: %3\nStarted: %4\nRows written: %5\n")
            .arg(run.table.displayName(), run.fields.join(QStringLiteral(", ")), RunChangeText(run),
                 run.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 GroupedCount(run.rowsRecorded));
    if (run.rowsPending > 0)
        text += QStringLiteral("And %1 rows whose commit was cut off: the undo restores those "
                               "that were written.\n")
                    .arg(GroupedCount(run.rowsPending));
    if (!run.ended)
        text += QStringLiteral("The run's program ended before the run did.\n");
    else if (!run.endedWhole)
        text += QStringLiteral("The run did not end whole.\n");
    if (run.rowsRestoredEarlier > 0)
        text += QStringLiteral("An earlier undo of this run ended before it was complete, after "
                               "it had restored %1 rows; this undo goes on where it ended.\n")
                    .arg(GroupedCount(run.rowsRestoredEarlier));
    if (!run.databaseIdentity.known())
        text += QStringLiteral("The database's identity was not recorded with this run (its "
                               "journal is of an earlier version of Recasor): it is known by "
                               "server, port and name only.\n");
    else if (run.databaseIdentity.systemIdentifier.isEmpty())
        text += QStringLiteral("The server's identity could not be read for this run: it is "
                               "known by the database's identity, server, port and name.\n");
    return text + QStringLiteral("\nEvery row that still holds the value the run wrote gets its "
                                 "old value back; rows changed since are left alone.");
}
