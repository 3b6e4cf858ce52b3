// The main window's Refresh (F5): the lists read again, keeping what the user chose.
#include "db/catalogue.h"
#include "ui/callrepainting.h"
#include "ui/flagscope.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"

#include <QTreeWidget>

void MainWindow::fillTables(const QList<TableRef> &tables, const std::optional<TableRef> &keep)
{
    QTreeWidgetItem *current = nullptr;
    for (const TableRef &table : tables) {
        auto *item = new QTreeWidgetItem(tableList_, QStringList{table.displayName()});
        item->setData(0, TableRole, QVariant::fromValue(table));
        if (keep && table == *keep)
            current = item;
    }
    if (!current && tableList_->topLevelItemCount() > 0)
        current = tableList_->topLevelItem(0);
    if (current)
        tableList_->setCurrentItem(current);
}

void MainWindow::refresh()
{
    if (listing_ || isBusy())
        return;
    GuardedHandler h(messages_, MainWindowName, QStringLiteral("Refresh_Click"));
    const std::optional<TableRef> table = fieldsTable_;
    const QStringList fields = selectedFields();
    const QString field =
        fieldList_->currentItem() ? fieldList_->currentItem()->text(0) : QString();
    const bool listed = h.step(100, [&] {
        const BusyPointer busy(pointer_);
        const QList<TableRef> tables =
            CallRepainting([values = connection_()] { return ListTables(values); });
        const FlagScope filling(listing_);
        tableList_->clear();
        fillTables(tables, table);
    });
    if (!listed || tableList_->topLevelItemCount() == 0) {
        fieldList_->clear();
        valueList_->clear();
        fieldsTable_.reset();
        previewTable_.reset();
        return;
    }
    // The same table keeps its row condition; its fields keep their selection where they are
    // still there, and the values shown are read again.
    if (!h.step(102, [&] { listFields(); }))
        return;
    h.step(104, [&] {
        const FlagScope filling(listing_);
        for (int i = 0; i < fieldList_->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = fieldList_->topLevelItem(i);
            item->setSelected(fields.contains(item->text(0)));
            if (item->text(0) == field && fieldsTable_ == table)
                fieldList_->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        }
    });
    if (fieldsTable_ == table && fieldList_->currentItem() &&
        fieldList_->currentItem()->text(0) == field && previewField_ != field)
        h.step(106, [&] { previewField(); });
}
