// The controls the two windows share in their look: push buttons and one-column lists.
#pragma once

#include "db/fieldkinds.h"

#include <QString>
#include <QStringList>

class QPushButton;
class QTreeWidget;
class QWidget;

// A push button placed in twips: caption in Arial 11.25 pt bold, white face.
QPushButton *MakePushButton(QWidget *parent, const char *name, const QString &text, int left,
                            int top, int width, int height);

// A one-column list in report view placed in twips: a header, no root decoration, no sorting,
// the tip on revealing long names, Arial 9 pt bold; one or several selected entries.
QTreeWidget *MakeListView(QWidget *parent, const char *name, bool multiSelect, int left, int top,
                          int width, int height);

// Adds one entry per text at the end of the list.
void FillList(QTreeWidget &list, const QStringList &texts);

// Shows the fields of the list that a run leaves alone in grey, with their type and the reason
// in the tip; they can still be selected.
void MarkLeftAloneFields(QTreeWidget &list, const QList<FieldKind> &kinds);
