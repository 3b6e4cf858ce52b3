#include "ui/runhistorydialog.h"

#include "jobs/jobtexts.h"
#include "journal/changeexport.h"
#include "journal/runtexts.h"
#include "journal/undotexts.h"
#include "ui/callrepainting.h"
#include "ui/filefolder.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"
#include "ui/windowhelpers.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString HistoryWindowName = QStringLiteral("RunHistoryDialog");
// What became of a run comes first after its time; the database, the same for most runs, last.
enum Column {
    HistoryStarted,
    HistoryState,
    HistoryTable,
    HistoryFields,
    HistoryChange,
    HistoryOptions,
    HistoryRows,
    HistoryDatabase,
    HistoryColumns
};

QString TimeText(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A name, a value or a server's text on one line of its cell, as it stands.
QString OneLine(const QString &text)
{
    return text.simplified();
}

QTreeWidgetItem *RunItem(const JournalRun &run)
{
    auto *item = new QTreeWidgetItem;
    item->setText(HistoryStarted, TimeText(run.started));
    item->setText(HistoryDatabase,
                  OneLine(QStringLiteral("%1 on %2:%3").arg(run.database, run.server, run.port)));
    item->setText(HistoryTable, OneLine(run.table.displayName()));
    item->setText(HistoryFields, OneLine(run.fields.join(QStringLiteral(", "))));
    item->setText(HistoryChange, RunChangeText(run));
    item->setText(HistoryOptions, RunOptionsText(run));
    QString rows = GroupedCount(run.rowsRecorded);
    if (run.rowsPending > 0)
        rows += QStringLiteral(" (+%1 cut off)").arg(GroupedCount(run.rowsPending));
    item->setText(HistoryRows, rows);
    item->setTextAlignment(HistoryRows, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(HistoryState, RunStateText(run));
    for (int column = 0; column < HistoryColumns; ++column)
        item->setToolTip(column, PlainToolTip(item->text(column)));
    if (const QString failure = RunFailureText(run); !failure.isEmpty())
        item->setToolTip(HistoryState, PlainToolTip(failure));
    return item;
}

QTreeWidgetItem *UnreadableItem(const JournalEntry &entry)
{
    auto *item = new QTreeWidgetItem;
    // The file's id is the time its run began, in milliseconds.
    item->setText(HistoryStarted, TimeText(QDateTime::fromMSecsSinceEpoch(entry.id, Qt::UTC)));
    item->setText(HistoryState,
                  entry.beingMade()
                      ? QStringLiteral("in progress (its journal is being made)")
                      : QStringLiteral("journal unreadable: ") + OneLine(entry.damage));
    item->setToolTip(HistoryState, PlainToolTip(entry.file + u'\n' + entry.damage));
    return item;
}

} // namespace

RunHistoryDialog::RunHistoryDialog(Messages &messages, const ConnectionSettings &current,
                                   QWidget *parent)
    : QDialog(parent), messages_(messages), current_(current)
{
    setObjectName(HistoryWindowName);
    setWindowTitle(QStringLiteral("Run History"));
    auto *layout = new QVBoxLayout(this);
    runs_ = new QTreeWidget(this);
    runs_->setObjectName(QStringLiteral("RunHistoryList"));
    runs_->setColumnCount(HistoryColumns);
    runs_->setHeaderLabels({QStringLiteral("Started"), QStringLiteral("State"),
                            QStringLiteral("Table"), QStringLiteral("Fields"),
                            QStringLiteral("Change"), QStringLiteral("Options"),
                            QStringLiteral("Rows"), QStringLiteral("Database")});
    runs_->setRootIsDecorated(false);
    runs_->setUniformRowHeights(true);
    runs_->setSelectionMode(QAbstractItemView::SingleSelection);
    runs_->setFont(DesktopFont());
    layout->addWidget(runs_, 1);
    detail_ = new QLabel(this);
    detail_->setObjectName(QStringLiteral("RunHistoryDetail"));
    detail_->setTextFormat(Qt::PlainText);
    detail_->setWordWrap(true);
    layout->addWidget(detail_);

    auto *buttons = new QDialogButtonBox(this);
    undo_ = buttons->addButton(QStringLiteral("&Undo"), QDialogButtonBox::ActionRole);
    undo_->setObjectName(QStringLiteral("UndoRunButton"));
    export_ = buttons->addButton(QStringLiteral("&Export Changes…"), QDialogButtonBox::ActionRole);
    export_->setObjectName(QStringLiteral("ExportChangesButton"));
    QPushButton *close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("Close"));
    // Return only closes: an undo is never started by accident.
    undo_->setAutoDefault(false);
    export_->setAutoDefault(false);
    close->setDefault(true);
    layout->addWidget(buttons);
    connect(undo_, &QPushButton::clicked, this, &RunHistoryDialog::undoSelected);
    connect(export_, &QPushButton::clicked, this, &RunHistoryDialog::exportSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(runs_, &QTreeWidget::itemSelectionChanged, this, &RunHistoryDialog::selectionChanged);

    chooseExportFile = [this](const JournalRun &run) {
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Export Changes"),
            FileDialogStart(QStringLiteral("recasor-run-%1.csv").arg(run.id)),
            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };
    resize(980, 420);
    selectionChanged();
}

void RunHistoryDialog::setEntries(const QList<JournalEntry> &entries)
{
    const JournalEntry *selected = selectedEntry();
    const std::optional<qint64> before = selected ? std::optional(selected->id) : std::nullopt;
    entries_ = entries;
    runs_->clear();
    // The list's items stand in the order of the entries.
    for (const JournalEntry &entry : entries_)
        runs_->addTopLevelItem(entry.run ? RunItem(*entry.run) : UnreadableItem(entry));
    for (int column = 0; column < HistoryColumns; ++column)
        runs_->resizeColumnToContents(column);
    // Long conditions and lists stay readable in the tool tips.
    runs_->setColumnWidth(HistoryState, qMin(runs_->columnWidth(HistoryState), 320));
    for (int column : {HistoryTable, HistoryFields, HistoryOptions})
        runs_->setColumnWidth(column, qMin(runs_->columnWidth(column), 220));
    if (!(before && select(*before)) && runs_->topLevelItemCount() > 0)
        runs_->setCurrentItem(runs_->topLevelItem(0));
    if (entries_.isEmpty())
        detail_->setText(QStringLiteral("The journal holds no runs yet."));
    selectionChanged();
}

bool RunHistoryDialog::select(qint64 id)
{
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        if (entries_[i].id == id) {
            runs_->setCurrentItem(runs_->topLevelItem(int(i)));
            return true;
        }
    }
    return false;
}

const JournalEntry *RunHistoryDialog::selectedEntry() const
{
    const int i = runs_->indexOfTopLevelItem(runs_->currentItem());
    return i >= 0 && i < entries_.size() ? &entries_[i] : nullptr;
}

std::optional<JournalRun> RunHistoryDialog::selectedRun() const
{
    const JournalEntry *entry = selectedEntry();
    return entry ? entry->run : std::nullopt;
}

QString RunHistoryDialog::whyNotUndoable(const JournalRun &run) const
{
    if (run.server != current_.server || run.port != current_.port ||
        run.database != current_.database)
        return QStringLiteral("This run is of another database: connect to it to undo the run.");
    return UndoRefusalText(run);
}

void RunHistoryDialog::selectionChanged()
{
    const JournalEntry *entry = selectedEntry();
    const std::optional<JournalRun> run = entry ? entry->run : std::nullopt;
    undo_->setEnabled(run && whyNotUndoable(*run).isEmpty());
    export_->setEnabled(run.has_value());
    if (!entry)
        return;
    QString detail;
    if (run) {
        detail = whyNotUndoable(*run);
        if (const QString failure = RunFailureText(*run); !failure.isEmpty())
            detail = (QStringLiteral("It failed: ") + failure + u' ' + detail).trimmed();
    } else {
        detail =
            entry->file + u'\n' +
            (entry->beingMade() ? QStringLiteral("A run is making its journal.") : entry->damage);
    }
    detail_->setText(detail);
}

void RunHistoryDialog::undoSelected()
{
    const std::optional<JournalRun> run = selectedRun();
    if (!run || !whyNotUndoable(*run).isEmpty())
        return;
    accept();
    emit undoRequested(*run);
}

void RunHistoryDialog::exportSelected()
{
    const std::optional<JournalRun> run = selectedRun();
    if (!run)
        return;
    GuardedHandler h(messages_, HistoryWindowName, QStringLiteral("ExportChanges_Click"));
    QString path;
    h.step(100, [&] { path = chooseExportFile(*run); });
    if (path.isEmpty())
        return;
    qint64 values = 0;
    if (!h.step(102, [&] { values = CallRepainting([&] { return ExportChanges(*run, path); }); }))
        return;
    RememberFileFolder(path);
    h.step(104, [&] {
        messages_.info(QStringLiteral("%1 values of the run were written to %2.")
                           .arg(GroupedCount(values), path));
    });
}
