#include "ui/previewcommand.h"

#include "jobs/jobtexts.h"
#include "jobs/storedcasechange.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/previewchangesdialog.h"
#include "ui/statusline.h"
#include "ui/statustexts.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <stdexcept>

namespace {

const QString PreviewHandler = QStringLiteral("Preview_Click");
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
    GuardedHandler h(messages_, MainWindowName, PreviewHandler);
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
            [this, change](const PreviewResult &result) { previewFinished(result, change); }))
        window_.statusLine().taskTitle(TaskTitle(QStringLiteral("Previewing"), change));
}

void PreviewCommand::exportChanges(const CaseChange &change, const QString &path)
{
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("ExportPreview_Click"));
    if (window_.isBusy()) {
        h.step(100, [&] {
            messages_.info(QStringLiteral("Another task goes on. Export the changes once it has "
                                          "ended."));
        });
        return;
    }
    const ConnectionSettings settings = window_.connectionSettings();
    h.step(102, [&] {
        if (window_.jobs().start<ChangePreview, PreviewResult>(
                new ChangePreview(settings, change, path), settings, change.table, this,
                [this](const PreviewResult &result) { exportFinished(result); }))
            window_.statusLine().taskTitle(
                TaskTitle(QStringLiteral("Exporting the changes of"), change));
    });
}

void PreviewCommand::exportFinished(const PreviewResult &result)
{
    const QString elapsed = ElapsedText(window_.statusLine().taskElapsedMs());
    const QString file = QDir::toNativeSeparators(result.exportFile);
    const QString handler = QStringLiteral("ExportPreview_Click");
    GuardedHandler h(messages_, MainWindowName, handler);
    if (!result.error.isEmpty()) {
        window_.statusLine().taskEnded(
            QStringLiteral("Export of the changes failed after %1.").arg(elapsed));
        messages_.report(MainWindowName, handler, 102, result.error);
    } else if (result.stopped) {
        window_.statusLine().taskEnded(
            QStringLiteral("Export of the changes was stopped after %1; %2 was not written.")
                .arg(elapsed, file));
    } else {
        const QString written = QStringLiteral("%1 written to %2")
                                    .arg(result.exported == 1 ? QStringLiteral("1 change was")
                                                              : GroupedCount(result.exported) +
                                                                    QStringLiteral(" changes were"),
                                         file);
        window_.statusLine().taskEnded(written + QStringLiteral(" in ") + elapsed + u'.');
        h.step(104, [&] { messages_.info(written + u'.'); });
    }
}

void PreviewCommand::previewFinished(const PreviewResult &result, const CaseChange &change)
{
    window_.statusLine().taskEnded(PreviewStatus(result, window_.statusLine().taskElapsedMs()));
    if (!result.error.isEmpty()) {
        messages_.report(MainWindowName, PreviewHandler, StartLine, result.error);
    } else if (!result.stopped) {
        auto *dialog = new PreviewChangesDialog(result, &window_);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &PreviewChangesDialog::startChangingRequested, this,
                [this, dialog] { startChanging(dialog->result(), dialog->untickedValues()); });
        connect(dialog, &PreviewChangesDialog::exportRequested, this,
                [this, change](const QString &path) { exportChanges(change, path); });
        dialog_ = dialog;
        dialog->open();
    }
    emit previewEnded();
}

void PreviewCommand::startChanging(const PreviewResult &result, const QStringList &kept)
{
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("StartChanging_Click"));
    h.step(100, [&] {
        if (window_.shownTable() != result.table)
            throw std::runtime_error("The table shown is no longer the one previewed.");
        if (window_.rowCondition() != result.condition)
            throw std::runtime_error("The row condition is no longer the one previewed.");
        window_.startChangeRun(result.fields, result.mode, kept);
    });
}
