#include "ui/undocommand.h"

#include "ui/form2.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"
#include "ui/statusline.h"
#include "ui/statustexts.h"

#include <QAction>
#include <QThread>

namespace {

const QString Window = QStringLiteral("Form2");
const QString Handler = QStringLiteral("UndoLastChangeRun_Click");

} // namespace

UndoCommand::UndoCommand(Form2 &window, Messages &messages, QObject *parent)
    : QObject(parent), window_(window), messages_(messages),
      action_(new QAction(QStringLiteral("&Undo Last Change Run…"), this))
{
    action_->setObjectName(QStringLiteral("UndoAction"));
    action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(action_, &QAction::triggered, this, &UndoCommand::UndoLastChangeRun_Click);
}

UndoCommand::~UndoCommand()
{
    worker_.stopAndWait();
}

void UndoCommand::UndoLastChangeRun_Click()
{
    if (window_.isBusy() || worker_.running())
        return; // a run or another task goes: a queued shortcut starts nothing
    GuardedHandler h(messages_, Window, Handler);
    std::optional<JournalRun> run;
    h.step(100, [&] { run = ChangeJournal::Last(window_.connectionSettings()); });
    if (!run) {
        h.step(102, [&] {
            messages_.info(QStringLiteral("There is no change run of this database to undo."));
        });
        return;
    }
    bool confirmed = false;
    h.step(104, [&] { confirmed = messages_.confirm(ConfirmText(*run)); });
    if (confirmed)
        h.step(106, [&] { start(*run); });
}

void UndoCommand::start(const JournalRun &run)
{
    if (!window_.beginTask([this] { worker_.requestStop(); }))
        return;
    table_ = run.table;
    UndoRun *undo = worker_.adopt(new UndoRun(window_.connectionSettings(), run), this);
    connect(undo, &UndoRun::progress, this, [this](int percent) {
        if (worker_.running())
            window_.setTaskProgress(percent);
    });
    connect(undo, &UndoRun::finished, this, &UndoCommand::undoFinished);
    window_.statusLine().watchLocks(window_.connectionSettings(), undo->sessions(), run.table);
    worker_.start();
}

void UndoCommand::undoFinished(const UndoSummary &summary)
{
    if (!worker_.running())
        return;
    worker_.release();
    window_.endTask(UndoStatus(summary, table_, window_.statusLine().taskElapsedMs()));
    GuardedHandler h(messages_, Window, Handler);
    if (!summary.firstError.isEmpty())
        messages_.report(Window, Handler, 108, summary.firstError);
    h.step(110, [&] { messages_.info(ClosingText(summary)); });
    // The preview of the table shows its values as they are now.
    if (window_.shownTable() == table_)
        h.step(112, [&] { window_.ListView2_Click(); });
    emit undoEnded();
}

QString UndoCommand::ConfirmText(const JournalRun &run)
{
    QString text =
        QStringLiteral("Undo the last change run of this database?\n\n"
                       "Table: %1\nField(s): %2\nMode: %3\nStarted: %4\nRows written: %5\n")
            .arg(run.table.displayName(), run.fields.join(QStringLiteral(", ")),
                 CaseModeText(run.mode),
                 run.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
            .arg(run.rowsRecorded);
    if (!run.endedWhole)
        text += QStringLiteral("The run did not end whole.\n");
    return text + QStringLiteral("\nEvery row that still holds the value the run wrote gets its "
                                 "old value back; rows changed since are left alone.");
}

QString UndoCommand::ClosingText(const UndoSummary &summary)
{
    return (summary.endedEarly ? QStringLiteral("The undo ended before it was complete; "
                                                "Undo Last Change Run goes on where it ended.")
                               : QStringLiteral("The change run was undone.")) +
           QStringLiteral("\n\nRows restored: %1\nRows left alone because they changed since "
                          "the run or could not be found: %2")
               .arg(summary.rowsRestored)
               .arg(summary.rowsLeftAlone);
}
