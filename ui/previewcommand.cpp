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
#include <QThread>
#include <stdexcept>

namespace {

const QString Window = QStringLiteral("Form2");
const QString Handler = QStringLiteral("Preview_Click");
constexpr int StartLine = 108;

} // namespace

PreviewCommand::PreviewCommand(MainWindow &window, Messages &messages, QObject *parent)
    : JobCommand(window, messages, QStringLiteral("&Preview Changes…"),
                 QStringLiteral("PreviewAction"), QKeySequence(Qt::CTRL | Qt::Key_P), parent)
{
    window_.changeMenu()->insertAction(window_.stopAction(), action_);
    connect(action_, &QAction::triggered, this, &PreviewCommand::Preview_Click);
}

PreviewChangesDialog *PreviewCommand::dialog() const
{
    return dialog_;
}

void PreviewCommand::Preview_Click()
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
    if (worker_.running() || !window_.beginTask([this] { worker_.requestStop(); }))
        return;
    // The stored word exceptions, as a run started now would take them.
    ChangePreview *preview = worker_.adopt(
        new ChangePreview(window_.connectionSettings(), StoredCaseChange(table, fields, mode)),
        this);
    worker_.forward(&ChangePreview::progress, this,
                    [this](int percent) { window_.setTaskProgress(percent); });
    worker_.forward(&ChangePreview::finished, this,
                    [this](const PreviewResult &result) { previewFinished(result); });
    window_.statusLine().watchLocks(window_.connectionSettings(), preview->sessions(), table);
    worker_.start();
}

void PreviewCommand::previewFinished(const PreviewResult &result)
{
    worker_.release();
    window_.endTask(PreviewStatus(result, window_.statusLine().taskElapsedMs()));
    if (!result.error.isEmpty()) {
        messages_.report(Window, Handler, StartLine, result.error);
    } else if (!result.stopped) {
        auto *dialog = new PreviewChangesDialog(result, &window_);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &PreviewChangesDialog::startChangingRequested, this,
                [this, dialog] { startChanging(dialog->result()); });
        dialog_ = dialog;
        dialog->open();
    }
    emit previewEnded();
}

void PreviewCommand::startChanging(const PreviewResult &result)
{
    GuardedHandler h(messages_, Window, QStringLiteral("StartChanging_Click"));
    h.step(100, [&] {
        if (window_.shownTable() != result.table)
            throw std::runtime_error("The table shown is no longer the one previewed.");
        window_.startChangeRun(result.fields, result.mode);
    });
}
