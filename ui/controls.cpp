#include "ui/controls.h"

#include "ui/windowhelpers.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

QPushButton *MakePushButton(QWidget *parent, const char *name, const QString &text, int left,
                            int top, int width, int height)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    PlaceTwips(*button, left, top, width, height);
    button->setFont(ArialFont(11.25, true));
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, Qt::white);
    button->setPalette(palette);
    return button;
}

QTreeWidget *MakeListView(QWidget *parent, const char *name, bool multiSelect, int left, int top,
                          int width, int height)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    PlaceTwips(*list, left, top, width, height);
    // The column and its caption come from the main window's load step.
    list->setColumnCount(1);
    list->setHeaderLabels({QString()});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                       : QAbstractItemView::SingleSelection);
    list->setToolTip(
        QStringLiteral("Move | line to right and out of window to reveal full names."));
    list->header()->setStretchLastSection(false);
    list->setFont(ArialFont(9, true));
    return list;
}

void MarkLeftAloneFields(QTreeWidget &list, const QList<FieldKind> &kinds)
{
    for (const FieldKind &kind : kinds) {
        if (kind.changeable())
            continue;
        for (QTreeWidgetItem *item : list.findItems(kind.name, Qt::MatchExactly)) {
            item->setForeground(0, list.palette().brush(QPalette::Disabled, QPalette::Text));
            item->setToolTip(0,
                             PlainToolTip(QStringLiteral("%1 (%2): a run leaves it alone (%3)")
                                              .arg(kind.name, kind.type, kind.leftAloneReason())));
        }
    }
}

void FillList(QTreeWidget &list, const QStringList &texts)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(texts.size());
    for (const QString &text : texts)
        items.append(new QTreeWidgetItem(QStringList{text}));
    list.addTopLevelItems(items);
}
