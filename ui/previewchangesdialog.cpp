#include "ui/previewchangesdialog.h"

#include "db/fieldpreview.h"
#include "jobs/jobtexts.h"
#include "ui/filefolder.h"
#include "ui/windowhelpers.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The change a row stands for, by its place in the preview's list.
constexpr int ChangeIndexRole = Qt::UserRole;
// The rows of a change, by which its column sorts.
constexpr int RowsRole = Qt::UserRole + 1;
constexpr int RowsColumn = 3;

// A row of the changes: its rows sort as numbers, its texts as the user's language orders them.
class ChangeItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == RowsColumn)
            return data(RowsColumn, RowsRole).toLongLong() <
                   other.data(RowsColumn, RowsRole).toLongLong();
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};

QTreeWidget *MakeTable(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *table = new QTreeWidget(parent);
    table->setObjectName(QLatin1String(name));
    table->setColumnCount(int(headers.size()));
    table->setHeaderLabels(headers);
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setSortingEnabled(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    return table;
}

// Rows as tall as the tallest letters with their marks, and a few pixels more: the ring of "Å"
// and the stack of Vietnamese marks reach above a line's ascent, "g" and "_" below its descent.
class TallRows : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics metrics(option.font);
        size.setHeight(
            qMax(size.height(),
                 qMax(metrics.height(),
                      metrics.boundingRect(PreviewChangesDialog::TallestLetters).height()) +
                     6));
        return size;
    }
};

void FitRowHeight(QTreeWidget &table)
{
    table.setItemDelegate(new TallRows(&table));
}

// The columns take the width of their contents, except those given, which share the rest of the
// table's width: long values are cut to fit rather than pushing the counts out of sight.
void FitColumns(QTreeWidget &table, int stretch, int alsoStretch = -1)
{
    QHeaderView *header = table.header();
    header->setStretchLastSection(false);
    for (int column = 0; column < table.columnCount(); ++column)
        header->setSectionResizeMode(column, column == stretch || column == alsoStretch
                                                 ? QHeaderView::Stretch
                                                 : QHeaderView::ResizeToContents);
}

} // namespace

const QString PreviewChangesDialog::TallestLetters =
    QStringLiteral("\u00c5\u01fa\u1ec6\u1eaa\u1ef0gjpqy_\u00c7\u0328\u0323");

PreviewChangesDialog::PreviewChangesDialog(const PreviewResult &result, QWidget *parent)
    : QDialog(parent), result_(result)
{
    setObjectName(QStringLiteral("PreviewChangesDialog"));
    setWindowTitle(QStringLiteral("Preview Changes"));
    auto *layout = new QVBoxLayout(this);

    const QString rule = result_.mode
                             ? ChangeWording(*result_.mode, result_.nameRules, result_.language)
                             : QString();
    // The condition is the user's text, on one line.
    const QString where = result_.condition.isEmpty() ? QString()
                                                      : QStringLiteral(", only rows where ") +
                                                            result_.condition.simplified();
    auto *caption = new QLabel(QStringLiteral("Changing %1 to %2%3 would change:")
                                   .arg(result_.table.displayName(), rule, where),
                               this);
    caption->setObjectName(QStringLiteral("PreviewCaption"));
    // Names are the table owner's to choose: shown as they stand, never as markup.
    caption->setTextFormat(Qt::PlainText);
    layout->addWidget(caption);

    fields_ = MakeTable(this, "PreviewFields",
                        {QStringLiteral("Field"), QStringLiteral("Rows read"),
                         QStringLiteral("Rows to change"), QStringLiteral("Values to change"),
                         QStringLiteral("Left as written")});
    layout->addWidget(fields_);

    leftAlone_ = new QLabel(LeftAloneText(result_.leftAlone), this);
    leftAlone_->setObjectName(QStringLiteral("LeftAlone"));
    leftAlone_->setTextFormat(Qt::PlainText);
    leftAlone_->setWordWrap(true);
    leftAlone_->setVisible(!result_.leftAlone.isEmpty());
    layout->addWidget(leftAlone_);
    auto *growing = new QLabel(GrowingText(result_.valuesGrowing()), this);
    growing->setObjectName(QStringLiteral("Growing"));
    growing->setWordWrap(true);
    growing->setVisible(result_.valuesGrowing() > 0);
    layout->addWidget(growing);

    changesCaption_ = new QLabel(this);
    changesCaption_->setObjectName(QStringLiteral("ChangesCaption"));
    layout->addWidget(changesCaption_);
    auto *tools = new QHBoxLayout;
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("PreviewSearch"));
    search_->setPlaceholderText(QStringLiteral("Search old and new values"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this, &PreviewChangesDialog::filter);
    // Return in the search box ends the typing, not the dialog.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter})
        new QShortcut(QKeySequence(key), search_, nullptr, nullptr, Qt::WidgetShortcut);
    tools->addWidget(search_, 1);
    auto *untickAll = new QPushButton(QStringLiteral("&Untick All Shown"), this);
    untickAll->setObjectName(QStringLiteral("UntickAllShown"));
    untickAll->setAutoDefault(false);
    connect(untickAll, &QPushButton::clicked, this, [this] { tickShown(false); });
    tools->addWidget(untickAll);
    auto *tickAll = new QPushButton(QStringLiteral("&Tick All Shown"), this);
    tickAll->setObjectName(QStringLiteral("TickAllShown"));
    tickAll->setAutoDefault(false);
    connect(tickAll, &QPushButton::clicked, this, [this] { tickShown(true); });
    tools->addWidget(tickAll);
    layout->addLayout(tools);
    changes_ = MakeTable(this, "PreviewChanges",
                         {QStringLiteral("Field"), QStringLiteral("Old value"),
                          QStringLiteral("New value"), QStringLiteral("Rows")});
    changes_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *copy = new QAction(changes_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &PreviewChangesDialog::copySelected);
    changes_->addAction(copy);
    layout->addWidget(changes_, 1);

    auto *buttons = new QDialogButtonBox(this);
    auto *exportButton =
        buttons->addButton(QStringLiteral("&Export…"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("ExportPreview"));
    exportButton->setAutoDefault(false);
    connect(exportButton, &QPushButton::clicked, this, &PreviewChangesDialog::exportAll);
    chooseExportFile = [this] {
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Export Changes"),
            FileDialogStart(QStringLiteral("recasor-preview-%1.csv").arg(result_.table.name)),
            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };
    start_ = buttons->addButton(QStringLiteral("Start Changing"), QDialogButtonBox::AcceptRole);
    start_->setObjectName(QStringLiteral("StartChanging"));
    close_ = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close_->setObjectName(QStringLiteral("Close"));
    // Return must not start a run by accident: the default button only closes.
    start_->setAutoDefault(false);
    close_->setDefault(true);
    layout->addWidget(buttons);
    connect(start_, &QPushButton::clicked, this, [this] {
        accept();
        emit startChangingRequested();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    fillFields();
    fillChanges();
    resize(760, 540);
}

void PreviewChangesDialog::fillFields()
{
    for (const FieldCounts &field : std::as_const(result_.counted)) {
        auto *item = new QTreeWidgetItem(
            fields_, {field.name, GroupedCount(field.rowsRead), GroupedCount(field.rowsChanging),
                      GroupedCount(field.valuesChanging),
                      GroupedCount(field.valuesLeftMixed + field.valuesKept)});
        for (int column = 1; column < 5; ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    FitColumns(*fields_, 0);
    FitRowHeight(*fields_);
    // Room for a header and a few fields; the changes take the rest.
    fields_->setMaximumHeight(fields_->sizeHintForRow(0) * 4 +
                              fields_->header()->sizeHint().height() + 8);
}

void PreviewChangesDialog::fillChanges()
{
    const qint64 total = result_.valuesChanging();
    if (total == 0)
        changesCaption_->setText(QStringLiteral("Nothing would change."));
    else if (total > result_.changes.size())
        changesCaption_->setText(
            QStringLiteral("The %1 most frequent of %2 changes:")
                .arg(GroupedCount(result_.changes.size()), GroupedCount(total)));
    else
        changesCaption_->setText(QStringLiteral("Changes, the most frequent first:"));
    if (total > 0)
        changesCaption_->setText(changesCaption_->text() +
                                 QStringLiteral(" untick one to leave its value as written."));

    QList<QTreeWidgetItem *> items;
    items.reserve(result_.changes.size());
    for (qsizetype index = 0; index < result_.changes.size(); ++index) {
        const PreviewChange &change = result_.changes[index];
        const QString shownNew =
            change.left == LeftAs::MixedCase ? QStringLiteral("(left as written: mixed case)")
            : change.left == LeftAs::Kept    ? QStringLiteral("(left as written: kept)")
                                             : ShownText(change.newValue);
        auto *item = new ChangeItem(QStringList{change.field, ShownText(change.oldValue), shownNew,
                                                GroupedCount(change.rows)});
        item->setTextAlignment(RowsColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, ChangeIndexRole, qlonglong(index));
        item->setData(RowsColumn, RowsRole, change.rows);
        // A change of a whole value may be unticked; one that stays anyway, or whose value is
        // longer than the list shows (and so not known whole), may not.
        if (change.left == LeftAs::Converted && change.oldValue.size() <= PreviewValueChars)
            item->setCheckState(0, Qt::Checked);
        else
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        // The columns may be too narrow for a value; its tip shows it as far as the list does.
        item->setToolTip(1, PlainToolTip(item->text(1)));
        item->setToolTip(2, PlainToolTip(item->text(2)));
        items.append(item);
    }
    changes_->addTopLevelItems(items);
    FitColumns(*changes_, 1, 2);
    FitRowHeight(*changes_);
    // A click on a header sorts by its column; at first the most frequent come first, as the
    // preview ranked them.
    changes_->header()->setSortIndicatorShown(false);
    changes_->header()->setSortIndicator(-1, Qt::DescendingOrder);
    changes_->setSortingEnabled(true);
    connect(changes_->header(), &QHeaderView::sortIndicatorChanged, this,
            [this] { changes_->header()->setSortIndicatorShown(true); });
}

void PreviewChangesDialog::filter(const QString &text)
{
    for (int i = 0; i < changes_->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = changes_->topLevelItem(i);
        const PreviewChange &change = result_.changes[item->data(0, ChangeIndexRole).toLongLong()];
        item->setHidden(!text.isEmpty() && !change.oldValue.contains(text, Qt::CaseInsensitive) &&
                        !change.newValue.contains(text, Qt::CaseInsensitive));
    }
}

void PreviewChangesDialog::tickShown(bool ticked)
{
    for (int i = 0; i < changes_->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = changes_->topLevelItem(i);
        if (!item->isHidden() && (item->flags() & Qt::ItemIsUserCheckable))
            item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void PreviewChangesDialog::exportAll()
{
    const QString path = chooseExportFile();
    if (path.isEmpty())
        return;
    RememberFileFolder(path);
    emit exportRequested(path);
}

void PreviewChangesDialog::copySelected() const
{
    // A value's own tabs and line breaks would split its line: they go as spaces.
    const auto cell = [](QString text) {
        for (QChar &c : text)
            if (c == u'\t' || c == u'\n' || c == u'\r')
                c = u' ';
        return text;
    };
    QStringList lines;
    for (int i = 0; i < changes_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = changes_->topLevelItem(i);
        if (!item->isSelected() || item->isHidden())
            continue;
        const PreviewChange &change = result_.changes[item->data(0, ChangeIndexRole).toLongLong()];
        lines << QStringList{cell(change.field), cell(item->text(1)), cell(item->text(2)),
                             QString::number(change.rows)}
                     .join(u'\t');
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(u'\n') + u'\n');
}

QStringList PreviewChangesDialog::untickedValues() const
{
    QStringList values;
    for (int i = 0; i < changes_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = changes_->topLevelItem(i);
        if (item->data(0, Qt::CheckStateRole).isValid() && item->checkState(0) == Qt::Unchecked)
            values << result_.changes[item->data(0, ChangeIndexRole).toLongLong()].oldValue;
    }
    values.removeDuplicates();
    return values;
}
