// The main window.
#include "ui/mainwindow.h"

#include "db/catalogue.h"
#include "db/dbsession.h"
#include "db/fieldpreview.h"
#include "db/rowcondition.h"
#include "jobs/storedcasechange.h"
#include "run/changeruntexts.h"
#include "ui/callrepainting.h"
#include "ui/changerunreport.h"
#include "ui/controls.h"
#include "ui/flagscope.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"
#include "ui/statusline.h"
#include "ui/statustexts.h"
#include "ui/windowhelpers.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdlib>
#include <stdexcept>

namespace {

} // namespace

MainWindow::MainWindow(Messages &messages, std::function<ConnectionSettings()> connection,
                       QString programFolder)
    : messages_(messages), connection_(std::move(connection)),
      programFolder_(std::move(programFolder)), pointer_(*this)
{
    buildLayout();
    connectLists();
    connect(startButton_, &QPushButton::clicked, this, &MainWindow::startChanging);
    connect(selectAllButton_, &QPushButton::clicked, this, &MainWindow::selectAllFields);
    connect(unselectAllButton_, &QPushButton::clicked, this, &MainWindow::unselectAllFields);
    connect(setupButton_, &QPushButton::clicked, this, &MainWindow::setupConnection);
    connect(&jobs_, &JobHost::started, this,
            [this](const ConnectionSettings &settings, std::shared_ptr<const CancelGroup> sessions,
                   const TableRef &table) {
                setRunning(true);
                statusLine_->taskStarted();
                statusLine_->watchLocks(settings, std::move(sessions), table);
            });
    connect(&jobs_, &JobHost::progress, progressBar_, &QProgressBar::setValue);
    connect(&jobs_, &JobHost::progress, statusLine_, &StatusLine::taskProgress);
    connect(&jobs_, &JobHost::rowsDone, statusLine_, &StatusLine::taskRows);
    connect(statusLine_, &StatusLine::stopRequested, this, &MainWindow::stop);
    connect(&jobs_, &JobHost::ended, this, [this] { setRunning(false); });
    pointer_.watchButtons({startButton_, selectAllButton_, unselectAllButton_, setupButton_});
    pointer_.watchSurfaces({modeFrame_, tableList_, fieldList_, valueList_});
}

MainWindow::~MainWindow()
{
    jobs_.stopAndWait();
}

void MainWindow::connectLists()
{
    // A click lists, even on the entry already chosen; moving through a list by keyboard
    // lists as well. Changes of the current entry made by a mouse press wait for the click,
    // and those made while a list is being filled are the program's own.
    connect(tableList_, &QTreeWidget::itemClicked, this,
            [this] { userListing(QStringLiteral("ListView1_Click"), &MainWindow::listFields); });
    connect(fieldList_, &QTreeWidget::itemClicked, this,
            [this] { userListing(QStringLiteral("ListView2_Click"), &MainWindow::previewField); });
    connect(tableList_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && !listing_ && QGuiApplication::mouseButtons() == Qt::NoButton)
            userListing(QStringLiteral("ListView1_Click"), &MainWindow::listFields);
    });
    connect(fieldList_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && !listing_ && QGuiApplication::mouseButtons() == Qt::NoButton)
            userListing(QStringLiteral("ListView2_Click"), &MainWindow::previewField);
    });
}

void MainWindow::load()
{
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("Form_Load"));
    h.step(100, [&] { ApplyFormColours(*this); });
    h.step(102, [&] { setWindowIcon(QGuiApplication::windowIcon()); });
    const QString cursorFile = programFolder_ + QStringLiteral("/HAND-M.CUR");
    if (h.condition(106, [&] { return FileExists(cursorFile); }))
        h.step(108, [&] { pointer_.setCustomCursor(LoadCursorFile(cursorFile)); });
    h.step(110, [&] { setWindowTitle(QStringLiteral("Recasor")); });
    h.step(112, [&] {
        // The fields and the preview of the last connection go too: left standing beside the
        // tables of another connection, they would name a table that is not there.
        const FlagScope filling(listing_);
        tableList_->clear();
        fieldList_->clear();
        valueList_->clear();
        fieldsTable_.reset();
        previewTable_.reset();
        rowCondition_.clear();
        showRowCondition();
        const BusyPointer busy(pointer_);
        fillTables(CallRepainting([values = connection_()] { return ListTables(values); }), {});
    });
    h.step(114, [&] { listFields(); });
    for (const CaseModeRow &mode : CaseModes()) {
        h.step(mode.offerStep, [&] {
            if (modeBox_->findText(mode.text, Qt::MatchExactly) < 0)
                modeBox_->addItem(mode.text);
        });
    }
    h.step(124, [&] { modeBox_->setCurrentIndex(0); });
    h.step(126, [&] { tableList_->setHeaderLabels({QStringLiteral("Table(s)")}); });
    h.step(128, [&] { tableList_->setColumnWidth(0, Twips(4000)); });
    h.step(130, [&] { fieldList_->setHeaderLabels({QStringLiteral("Field(s)")}); });
    h.step(132, [&] { fieldList_->setColumnWidth(0, Twips(4000)); });
    h.step(134, [&] { showRowCondition(); });
    h.step(136, [&] { valueList_->setColumnWidth(0, Twips(8000)); });
}

void MainWindow::listFields()
{
    const QTreeWidgetItem *selected = tableList_->currentItem();
    if (!selected)
        throw std::runtime_error("No table is selected.");
    const TableRef table = selected->data(0, TableRole).value<TableRef>();
    {
        const FlagScope filling(listing_);
        const BusyPointer busy(pointer_);
        const ListedFields fields = CallRepainting(
            [values = connection_(), table] { return ListFieldsWithKinds(values, table); });
        // The lists change only once the whole listing is in hand, in one go: no event is
        // handled between emptying and filling, so no other listing can mix into them.
        fieldList_->clear();
        valueList_->clear();
        previewTable_.reset();
        // The condition is the table's: another table's rows are all listed.
        if (fieldsTable_ != table) {
            rowCondition_.clear();
            showRowCondition();
        }
        fieldsTable_ = table;
        FillList(*fieldList_, fields.names);
        MarkLeftAloneFields(*fieldList_, fields.kinds);
        if (fieldList_->topLevelItemCount() > 0)
            fieldList_->setCurrentItem(fieldList_->topLevelItem(0));
    }
    if (fieldList_->topLevelItemCount() > 0)
        previewField();
}

void MainWindow::previewField()
{
    const QTreeWidgetItem *selected = fieldList_->currentItem();
    if (!selected || !fieldsTable_)
        throw std::runtime_error("No field is selected.");
    showValues(*fieldsTable_, selected->text(0), rowCondition_);
}

void MainWindow::showValues(const TableRef &table, const QString &field, const QString &condition)
{
    const FlagScope filling(listing_);
    const BusyPointer busy(pointer_);
    const QStringList values = CallRepainting([values = connection_(), table, field, condition] {
        return PreviewField(values, table, field, condition);
    });
    valueList_->clear();
    FillList(*valueList_, values);
    previewTable_ = table;
    previewField_ = field;
}

void MainWindow::setRowCondition(const QString &condition)
{
    if (!fieldsTable_)
        throw std::runtime_error("No table is selected.");
    // The server checks it as the list of values reads by it; without a field to list, it
    // checks it alone.
    if (const QTreeWidgetItem *field = fieldList_->currentItem()) {
        showValues(*fieldsTable_, field->text(0), condition);
    } else if (!condition.isEmpty()) {
        const FlagScope filling(listing_);
        const BusyPointer busy(pointer_);
        CallRepainting([values = connection_(), table = *fieldsTable_, condition] {
            DbSession session(values);
            RowCondition::Check(session, table, condition);
            return true;
        });
    }
    rowCondition_ = condition;
    showRowCondition();
}

void MainWindow::showRowCondition()
{
    // On one line: its line breaks and tabs show as spaces.
    const QString where = rowCondition_.simplified();
    statusLine_->setStandingNote(where.isEmpty() ? QString()
                                                 : QStringLiteral("Only rows where ") + where);
    QString title = QStringLiteral("First 100 Entries (Preview)");
    if (!where.isEmpty())
        title += QStringLiteral(", only rows where ") + where;
    valueList_->setHeaderLabels({title});
}

void MainWindow::userListing(const QString &handler, void (MainWindow::*listing)())
{
    // A list being filled or a change run going: the click waits for nothing and does nothing.
    if (listing_ || isBusy())
        return;
    GuardedHandler h(messages_, MainWindowName, handler);
    if (!h.step(100, [&] { (this->*listing)(); }) && listing == &MainWindow::listFields)
        reselectShownTable();
}

void MainWindow::reselectShownTable()
{
    const FlagScope filling(listing_);
    for (int i = 0; i < tableList_->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = tableList_->topLevelItem(i);
        if (fieldsTable_ && item->data(0, TableRole).value<TableRef>() == *fieldsTable_) {
            tableList_->setCurrentItem(item);
            return;
        }
    }
}

void MainWindow::startChanging()
{
    if (isBusy())
        return; // the button is disabled while a run goes; a queued click starts nothing
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("PushButton1_Click"));
    // Every selected field is changed, in the order of the list.
    QStringList fields;
    h.step(104, [&] { fields = selectedFields(); });
    if (fields.isEmpty() || !fieldsTable_) {
        h.step(214, [&] { messages_.info(QStringLiteral("Please select a field.")); });
        return;
    }
    h.step(106, [&] { startChangeRun(fields, CaseModeFromText(modeBox_->currentText())); });
}

bool MainWindow::startChangeRun(const QStringList &fields, std::optional<CaseMode> mode,
                                const QStringList &kept)
{
    if (isBusy() || !fieldsTable_ || fields.isEmpty())
        return false;
    run_ = StoredCaseChange(*fieldsTable_, fields, mode);
    run_.keptValues = kept;
    run_.condition = rowCondition_;
    const ConnectionSettings settings = connection_();
    const bool started = jobs_.start<ChangeRun, ChangeRunSummary>(
        new ChangeRun(settings, run_), settings, run_.table, this,
        [this](const ChangeRunSummary &summary) { changeRunFinished(summary); },
        [this](WorkerThread<ChangeRun> &thread) {
            thread.forward(&ChangeRun::cautioned, this, [this](const QStringList &owners) {
                statusLine_->taskNote(UntrustedOwnersText(owners));
            });
        });
    if (started)
        statusLine_->taskTitle(TaskTitle(QStringLiteral("Changing"), run_));
    return started;
}

ConnectionSettings MainWindow::connectionSettings() const
{
    return connection_();
}

QStringList MainWindow::selectedFields() const
{
    QStringList fields;
    for (int i = 0; i < fieldList_->topLevelItemCount(); ++i)
        if (fieldList_->topLevelItem(i)->isSelected())
            fields.append(fieldList_->topLevelItem(i)->text(0));
    return fields;
}

QString MainWindow::modeText() const
{
    return modeBox_->currentText();
}

void MainWindow::stop()
{
    jobs_.stop();
}

void MainWindow::setRunning(bool running)
{
    // While a run goes its table, fields and mode stay those of its start, and no second run
    // or change of connection can begin; the preview stays open to scrolling.
    if (running)
        focusBeforeRun_ = focusWidget();
    for (QWidget *control :
         {static_cast<QWidget *>(tableList_), static_cast<QWidget *>(fieldList_),
          static_cast<QWidget *>(modeBox_), static_cast<QWidget *>(startButton_),
          static_cast<QWidget *>(selectAllButton_), static_cast<QWidget *>(unselectAllButton_),
          static_cast<QWidget *>(setupButton_)})
        control->setEnabled(!running);
    // Disabling moved the focus away; it goes back where it was.
    if (!running && focusBeforeRun_)
        focusBeforeRun_->setFocus(Qt::OtherFocusReason);
    stopAction_->setEnabled(running);
    pointer_.set(running ? PointerState::Hourglass : PointerState::Default);
    // The bar moves; its text stays "Progress Bar" all the while.
    progressBar_->setValue(0);
}

void MainWindow::changeRunFinished(const ChangeRunSummary &summary)
{
    statusLine_->taskEnded(ChangeRunStatus(summary, run_, statusLine_->taskElapsedMs()));
    updatePreviewAfterRun(summary);
    ReportChangeRun(messages_, MainWindowName, summary, run_.mode);
    emit changeRunEnded();
}

void MainWindow::updatePreviewAfterRun(const ChangeRunSummary &summary)
{
    if (!run_.mode || !previewTable_ || *previewTable_ != run_.table ||
        !run_.fields.contains(previewField_))
        return;
    // Rows that another client changed, or that live on a server the run could not reach, keep
    // their values as well.
    const bool wroteAll = summary.firstError.isEmpty() && !summary.endedEarly &&
                          summary.rowsLeftChanged == 0 && summary.relationsLeft.isEmpty();
    const int line = CaseModeOf(*run_.mode).listStep;
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("PushButton1_Click"));
    if (!wroteAll) {
        // Converting the listed values would show changes that did not happen: the preview is
        // read again to show what the table holds now.
        const auto reload = [&] { showValues(run_.table, previewField_, run_.condition); };
        // A run that failed as a whole has its own report: a reload that fails after it, most
        // likely for the same reason, leaves the preview as it was and says nothing more.
        if (summary.endedEarly && !summary.firstError.isEmpty()) {
            try {
                reload();
            } catch (const std::exception &) {
            }
        } else {
            h.step(line, reload);
        }
        return;
    }
    h.step(line, [&] { ConvertPreviewList(*valueList_, run_); });
}

void MainWindow::selectAllFields()
{
    setAllFieldsSelected(QStringLiteral("PushButton2_Click"), true);
}

void MainWindow::unselectAllFields()
{
    setAllFieldsSelected(QStringLiteral("PushButton3_Click"), false);
}

void MainWindow::setAllFieldsSelected(const QString &handler, bool selected)
{
    GuardedHandler h(messages_, MainWindowName, handler);
    int count = 0;
    h.step(100, [&] { count = fieldList_->topLevelItemCount(); });
    for (int i = 0; i < count; ++i)
        h.step(102, [&] { fieldList_->topLevelItem(i)->setSelected(selected); });
}

void MainWindow::setupConnection()
{
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("PushButton5_Click"));
    h.step(100, [&] { emit setupRequested(); });
    h.step(102, [&] { hide(); });
}

void MainWindow::stopJobAndWait()
{
    // The program is ending. The job's statements are cancelled on the server and every one
    // of them is whole or rolled back, so a job that does not come back in time (a server that
    // does not answer the cancel) is left behind rather than keeping the program up.
    if (!jobs_.stopAndWait(1500))
        std::_Exit(0);
}

QWidget *MainWindow::firstControl() const
{
    return startButton_;
}
