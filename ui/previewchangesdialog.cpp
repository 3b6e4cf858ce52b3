#include "ui/previewchangesdialog.h"

#include "db/fieldpreview.h"
#include "jobs/jobtexts.h"
#include "ui/windowhelpers.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

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

PreviewChangesDialog::PreviewChangesDialog(const PreviewResult &result, QWidget *parent)
    : QDialog(parent), result_(result)
{
    setObjectName(QStringLiteral("PreviewChangesDialog"));
    setWindowTitle(QStringLiteral("Preview Changes"));
    auto *layout = new QVBoxLayout(this);

    QString rule = result_.mode ? CaseModeText(*result_.mode) : QString();
    if (result_.nameRules)
        rule += QStringLiteral(" with name rules");
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
    changes_ = MakeTable(this, "PreviewChanges",
                         {QStringLiteral("Field"), QStringLiteral("Old value"),
                          QStringLiteral("New value"), QStringLiteral("Rows")});
    layout->addWidget(changes_, 1);

    auto *buttons = new QDialogButtonBox(this);
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
    for (const PreviewChange &change : std::as_const(result_.changes)) {
        const QString shownNew =
            change.left == LeftAs::MixedCase ? QStringLiteral("(left as written: mixed case)")
            : change.left == LeftAs::Kept    ? QStringLiteral("(left as written: kept)")
                                             : ShownText(change.newValue);
        auto *item = new QTreeWidgetItem(
            {change.field, ShownText(change.oldValue), shownNew, GroupedCount(change.rows)});
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
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
}

QStringList PreviewChangesDialog::untickedValues() const
{
    QStringList values;
    for (int i = 0; i < changes_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = changes_->topLevelItem(i);
        if (item->data(0, Qt::CheckStateRole).isValid() && item->checkState(0) == Qt::Unchecked)
            values << result_.changes[i].oldValue;
    }
    values.removeDuplicates();
    return values;
}
