#include "ui/previewcommand.h"

#include "settings/settingsstore.h"
#include "ui/form2.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"
#include "ui/previewchangesdialog.h"

#include <QAction>
#include <QMenu>
#include <QThread>
#include <stdexcept>

namespace {

const QString Window = QStringLiteral("Form2");
const QString Handler = QStringLiteral("Preview_Click");
constexpr int StartLine = 108;

} // namespace

PreviewCommand::PreviewCommand(Form2 &window, Messages &messages, QObject *parent)
    : QObject(parent), window_(window), messages_(messages)
{
    action_ = new QAction(QStringLiteral("&Preview Changes…"), this);
    action_->setObjectName(QStringLiteral("PreviewAction"));
    action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    window_.changeMenu()->insertAction(window_.stopAction(), action_);
    connect(action_, &QAction::triggered, this, &PreviewCommand::Preview_Click);
}

PreviewCommand::~PreviewCommand()
{
    // The window may be half gone already: only the thread is seen to here.
    if (worker_)
        worker_->requestStop();
    if (thread_)
        release();
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
    if (thread_ || !window_.beginTask([this] {
            if (worker_)
                worker_->requestStop();
        }))
        return;
    thread_ = new QThread(this);
    // The stored word exceptions, as a run started now would take them.
    worker_ = new ChangePreview(window_.connectionSettings(), table, fields, mode, nullptr,
                                SettingsStore::ExceptionWords());
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::started, worker_, &ChangePreview::run);
    // Ending the thread's event loop from the worker's own thread lets the destructor wait for
    // the thread without an event loop running.
    connect(worker_, &ChangePreview::finished, thread_, &QThread::quit, Qt::DirectConnection);
    connect(worker_, &ChangePreview::progress, this,
            [this](int percent) { window_.setTaskProgress(percent); });
    connect(worker_, &ChangePreview::finished, this, &PreviewCommand::previewFinished);
    thread_->start();
}

void PreviewCommand::previewFinished(const PreviewResult &result)
{
    release();
    window_.endTask();
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

void PreviewCommand::release()
{
    thread_->wait();
    delete worker_;
    worker_ = nullptr;
    delete thread_;
    thread_ = nullptr;
}
