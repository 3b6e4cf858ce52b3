// The main window.
#include "ui/form2.h"

#include "db/catalogue.h"
#include "db/fieldpreview.h"
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

const QString Window = QStringLiteral("Form2");
constexpr int TableRole = Qt::UserRole;

} // namespace

Form2::Form2(Messages &messages, std::function<ConnectionSettings()> connection,
             QString programFolder)
    : messages_(messages), connection_(std::move(connection)),
      programFolder_(std::move(programFolder)), pointer_(*this)
{
    buildLayout();
    connectLists();
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form2::PushButton3_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form2::PushButton5_Click);
    connect(&runner_, &ChangeRunThread::progress, ProgressBar1, &QProgressBar::setValue);
    connect(&runner_, &ChangeRunThread::finished, this, &Form2::changeRunFinished);
    connect(&runner_, &ChangeRunThread::cautioned, this, [this](const QStringList &owners) {
        statusLine_->taskNote(UntrustedOwnersText(owners));
    });
    pointer_.watchButtons({PushButton1, PushButton2, PushButton3, PushButton5});
    pointer_.watchSurfaces({Frame1, ListView1, ListView2, ListView3});
}

Form2::~Form2()
{
    runner_.stopAndWait();
}

void Form2::connectLists()
{
    // A click lists, even on the entry already chosen; moving through a list by keyboard
    // lists as well. Changes of the current entry made by a mouse press wait for the click,
    // and those made while a list is being filled are the program's own.
    connect(ListView1, &QTreeWidget::itemClicked, this,
            [this] { userListing(QStringLiteral("ListView1_Click"), &Form2::ListView1_Click); });
    connect(ListView2, &QTreeWidget::itemClicked, this,
            [this] { userListing(QStringLiteral("ListView2_Click"), &Form2::ListView2_Click); });
    connect(ListView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && !listing_ && QGuiApplication::mouseButtons() == Qt::NoButton)
            userListing(QStringLiteral("ListView1_Click"), &Form2::ListView1_Click);
    });
    connect(ListView2, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && !listing_ && QGuiApplication::mouseButtons() == Qt::NoButton)
            userListing(QStringLiteral("ListView2_Click"), &Form2::ListView2_Click);
    });
}

void Form2::Form_Load()
{
    GuardedHandler h(messages_, Window, QStringLiteral("Form_Load"));
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
        ListView1->clear();
        ListView2->clear();
        ListView3->clear();
        fieldsTable_.reset();
        previewTable_.reset();
        const BusyPointer busy(pointer_);
        for (const TableRef &table :
             CallRepainting([values = connection_()] { return ListTables(values); })) {
            auto *item = new QTreeWidgetItem(ListView1, QStringList{table.displayName()});
            item->setData(0, TableRole, QVariant::fromValue(table));
        }
        if (ListView1->topLevelItemCount() > 0)
            ListView1->setCurrentItem(ListView1->topLevelItem(0));
    });
    h.step(114, [&] { ListView1_Click(); });
    for (const CaseModeRow &mode : CaseModes()) {
        h.step(mode.offerStep, [&] {
            if (Combo1->findText(mode.text, Qt::MatchExactly) < 0)
                Combo1->addItem(mode.text);
        });
    }
    h.step(124, [&] { Combo1->setCurrentIndex(0); });
    h.step(126, [&] { ListView1->setHeaderLabels({QStringLiteral("Table(s)")}); });
    h.step(128, [&] { ListView1->setColumnWidth(0, Twips(4000)); });
    h.step(130, [&] { ListView2->setHeaderLabels({QStringLiteral("Field(s)")}); });
    h.step(132, [&] { ListView2->setColumnWidth(0, Twips(4000)); });
    h.step(134,
           [&] { ListView3->setHeaderLabels({QStringLiteral("First 100 Entries (Preview)")}); });
    h.step(136, [&] { ListView3->setColumnWidth(0, Twips(8000)); });
}

void Form2::ListView1_Click()
{
    const QTreeWidgetItem *selected = ListView1->currentItem();
    if (!selected)
        throw std::runtime_error("No table is selected.");
    const TableRef table = selected->data(0, TableRole).value<TableRef>();
    {
        const FlagScope filling(listing_);
        const BusyPointer busy(pointer_);
        const QStringList fields =
            CallRepainting([values = connection_(), table] { return ListFields(values, table); });
        // The lists change only once the whole listing is in hand, in one go: no event is
        // handled between emptying and filling, so no other listing can mix into them.
        ListView2->clear();
        ListView3->clear();
        previewTable_.reset();
        fieldsTable_ = table;
        FillList(*ListView2, fields);
        if (ListView2->topLevelItemCount() > 0)
            ListView2->setCurrentItem(ListView2->topLevelItem(0));
    }
    if (ListView2->topLevelItemCount() > 0)
        ListView2_Click();
}

void Form2::ListView2_Click()
{
    const QTreeWidgetItem *selected = ListView2->currentItem();
    if (!selected || !fieldsTable_)
        throw std::runtime_error("No field is selected.");
    const QString field = selected->text(0);
    const FlagScope filling(listing_);
    const BusyPointer busy(pointer_);
    const QStringList values =
        CallRepainting([values = connection_(), table = *fieldsTable_, field] {
            return PreviewField(values, table, field);
        });
    ListView3->clear();
    FillList(*ListView3, values);
    previewTable_ = fieldsTable_;
    previewField_ = field;
}

void Form2::userListing(const QString &handler, void (Form2::*listing)())
{
    // A list being filled or a change run going: the click waits for nothing and does nothing.
    if (listing_ || isBusy())
        return;
    GuardedHandler h(messages_, Window, handler);
    if (!h.step(100, [&] { (this->*listing)(); }) && listing == &Form2::ListView1_Click)
        reselectShownTable();
}

void Form2::reselectShownTable()
{
    const FlagScope filling(listing_);
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = ListView1->topLevelItem(i);
        if (fieldsTable_ && item->data(0, TableRole).value<TableRef>() == *fieldsTable_) {
            ListView1->setCurrentItem(item);
            return;
        }
    }
}

void Form2::PushButton1_Click()
{
    if (isBusy())
        return; // the button is disabled while a run goes; a queued click starts nothing
    GuardedHandler h(messages_, Window, QStringLiteral("PushButton1_Click"));
    // Every selected field is changed, in the order of the list.
    QStringList fields;
    h.step(104, [&] { fields = selectedFields(); });
    if (fields.isEmpty() || !fieldsTable_) {
        h.step(214, [&] { messages_.info(QStringLiteral("Please select a field.")); });
        return;
    }
    h.step(106, [&] { startChangeRun(fields, CaseModeFromText(Combo1->currentText())); });
}

bool Form2::startChangeRun(const QStringList &fields, std::optional<CaseMode> mode)
{
    if (isBusy() || !fieldsTable_ || fields.isEmpty())
        return false;
    run_ = StoredCaseChange(*fieldsTable_, fields, mode);
    // The run's signals come through the event loop, so the window is switched to its
    // running state before the first of them arrives, and only for a run that started.
    if (!runner_.start(connection_(), run_))
        return false;
    setRunning(true);
    statusLine_->taskStarted();
    statusLine_->watchLocks(connection_(), runner_.sessions(), run_.table);
    return true;
}

ConnectionSettings Form2::connectionSettings() const
{
    return connection_();
}

QStringList Form2::selectedFields() const
{
    QStringList fields;
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i)
        if (ListView2->topLevelItem(i)->isSelected())
            fields.append(ListView2->topLevelItem(i)->text(0));
    return fields;
}

QString Form2::modeText() const
{
    return Combo1->currentText();
}

bool Form2::beginTask(std::function<void()> stop)
{
    if (isBusy() || !stop)
        return false;
    taskStop_ = std::move(stop);
    setRunning(true);
    statusLine_->taskStarted();
    return true;
}

void Form2::setTaskProgress(int percent)
{
    if (taskStop_)
        ProgressBar1->setValue(percent);
}

void Form2::endTask(const QString &outcome)
{
    if (!taskStop_)
        return;
    taskStop_ = nullptr;
    setRunning(false);
    statusLine_->taskEnded(outcome);
}

void Form2::Stop_Click()
{
    if (runner_.isRunning())
        runner_.requestStop();
    else if (taskStop_)
        taskStop_();
}

void Form2::setRunning(bool running)
{
    // While a run goes its table, fields and mode stay those of its start, and no second run
    // or change of connection can begin; the preview stays open to scrolling.
    if (running)
        focusBeforeRun_ = focusWidget();
    for (QWidget *control :
         {static_cast<QWidget *>(ListView1), static_cast<QWidget *>(ListView2),
          static_cast<QWidget *>(Combo1), static_cast<QWidget *>(PushButton1),
          static_cast<QWidget *>(PushButton2), static_cast<QWidget *>(PushButton3),
          static_cast<QWidget *>(PushButton5)})
        control->setEnabled(!running);
    // Disabling moved the focus away; it goes back where it was.
    if (!running && focusBeforeRun_)
        focusBeforeRun_->setFocus(Qt::OtherFocusReason);
    stopAction_->setEnabled(running);
    pointer_.set(running ? PointerState::Hourglass : PointerState::Default);
    // The bar moves; its text stays "Progress Bar" all the while.
    ProgressBar1->setValue(0);
}

void Form2::changeRunFinished(const ChangeRunSummary &summary)
{
    setRunning(false);
    statusLine_->taskEnded(
        ChangeRunStatus(summary, run_.table, run_.fields, run_.mode, statusLine_->taskElapsedMs()));
    updatePreviewAfterRun(summary);
    ReportChangeRun(messages_, Window, summary, run_.mode);
    emit changeRunEnded();
}

void Form2::updatePreviewAfterRun(const ChangeRunSummary &summary)
{
    if (!run_.mode || !previewTable_ || *previewTable_ != run_.table ||
        !run_.fields.contains(previewField_))
        return;
    // Rows that another client changed, or that live on a server the run could not reach, keep
    // their values as well.
    const bool wroteAll = summary.firstError.isEmpty() && !summary.endedEarly &&
                          summary.rowsLeftChanged == 0 && summary.relationsLeft.isEmpty();
    const int line = CaseModeOf(*run_.mode).listStep;
    GuardedHandler h(messages_, Window, QStringLiteral("PushButton1_Click"));
    if (!wroteAll) {
        // Converting the listed values would show changes that did not happen: the preview is
        // read again to show what the table holds now.
        const auto reload = [&] {
            const BusyPointer busy(pointer_);
            const QStringList values =
                CallRepainting([values = connection_(), table = run_.table, field = previewField_] {
                    return PreviewField(values, table, field);
                });
            ListView3->clear();
            FillList(*ListView3, values);
        };
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
    h.step(line, [&] {
        ConvertPreviewList(*ListView3, *run_.mode, run_.exceptionWords, run_.nameRules);
    });
}

void Form2::PushButton2_Click()
{
    selectAllFields(QStringLiteral("PushButton2_Click"), true);
}

void Form2::PushButton3_Click()
{
    selectAllFields(QStringLiteral("PushButton3_Click"), false);
}

void Form2::selectAllFields(const QString &handler, bool selected)
{
    GuardedHandler h(messages_, Window, handler);
    int count = 0;
    h.step(100, [&] { count = ListView2->topLevelItemCount(); });
    for (int i = 0; i < count; ++i)
        h.step(102, [&] { ListView2->topLevelItem(i)->setSelected(selected); });
}

void Form2::PushButton5_Click()
{
    GuardedHandler h(messages_, Window, QStringLiteral("PushButton5_Click"));
    h.step(100, [&] { emit setupRequested(); });
    h.step(102, [&] { hide(); });
}

void Form2::stopChangeRun()
{
    // The program is ending. The run's statements are cancelled on the server and every one
    // of them is whole or rolled back, so a run that does not come back in time (a server that
    // does not answer the cancel) is left behind rather than keeping the program up.
    if (!runner_.stopAndWait(1500))
        std::_Exit(0);
}

QWidget *Form2::firstControl() const
{
    return PushButton1;
}
