#include "ui/previewcommand.h"

#include "jobs/storedcasechange.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/previewchangesdialog.h"
#include "ui/statusline.h"
#include "ui/statustexts.h"

#include <QAction>
#include <QMenu>
#include <stdexcept>

namespace {

const QString Window = QStringLiteral("Form2");
const QString Handler = QStringLiteral("Preview_Click");
constexpr int StartLine = 108;

} // namespace

PreviewCommand::PreviewCommand(MainWindow &window, Messages &messages, QObject *parent)
    : MenuCommand(window, messages, QStringLiteral("&Preview Changes…"),
                  QStringLiteral("PreviewAction"), QKeySequence(Qt::CTRL | Qt::Key_P), parent)
{
    connect(action_, &QAction::triggered, this, &PreviewCommand::previewChanges);
}

PreviewChangesDialog *PreviewCommand::dialog() const
{
    return dialog_;
}

bool PreviewCommand::isWorking() const
{
    return window_.jobs().running<ChangePreview>();
}

void PreviewCommand::previewChanges()
{
    if (window_.isBusy())
        return; // a run or another task has the window; a queued shortcut starts nothing
    GuardedHandler h(messages_, Window, Handler);
    QStringList fields;
    std::optional<TableRef> table;
    h.step(100, [&] {
        fields = window_.selectedFields();
        table = window_.shownTable();
    });
    if (fields.isEmpty() || !table) {
        h.step(102, [&] { messages_.info(QStringLiteral("Please select a field.")); });
        return;
    }
    std::optional<CaseMode> mode;
    h.step(104, [&] { mode = CaseModeFromText(window_.modeText()); });
    if (!mode) {
        h.step(106, [&] { messages_.info(QStringLiteral("mess up")); });
        return;
    }
    h.step(StartLine, [&] { start(*table, fields, *mode); });
}

void PreviewCommand::start(const TableRef &table, const QStringList &fields, CaseMode mode)
{
    // The stored word exceptions, as a run started now would take them.
    const ConnectionSettings settings = window_.connectionSettings();
    CaseChange change = StoredCaseChange(table, fields, mode);
    change.condition = window_.rowCondition();
    if (window_.jobs().start<ChangePreview, PreviewResult>(
            new ChangePreview(settings, change), settings, table, this,
            [this](const PreviewResult &result) { previewFinished(result); }))
        window_.statusLine().taskTitle(TaskTitle(QStringLiteral("Previewing"), change));
}

void PreviewCommand::previewFinished(const PreviewResult &result)
{
    window_.statusLine().taskEnded(PreviewStatus(result, window_.statusLine().taskElapsedMs()));
    if (!result.error.isEmpty()) {
        messages_.report(Window, Handler, StartLine, result.error);
    } else if (!result.stopped) {
        auto *dialog = new PreviewChangesDialog(result, &window_);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &PreviewChangesDialog::startChangingRequested, this,
                [this, dialog] { startChanging(dialog->result(), dialog->untickedValues()); });
        dialog_ = dialog;
        dialog->open();
    }
    emit previewEnded();
}

void PreviewCommand::startChanging(const PreviewResult &result, const QStringList &kept)
{
    GuardedHandler h(messages_, Window, QStringLiteral("StartChanging_Click"));
    h.step(100, [&] {
        if (window_.shownTable() != result.table)
            throw std::runtime_error("The table shown is no longer the one previewed.");
        if (window_.rowCondition() != result.condition)
            throw std::runtime_error("The row condition is no longer the one previewed.");
        window_.startChangeRun(result.fields, result.mode, kept);
    });
}
