// The first values of a field, as stored, for the preview list.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"

#include <QStringList>

inline constexpr int PreviewLimit = 101;
// The most UTF-16 units of a value that the preview shows; a longer value shows its first
// units and "…". A change run still reads and writes the whole value.
inline constexpr int PreviewTextLimit = 1000;

// At most PreviewLimit values in the server's order: NULL as the empty text, other values
// in PostgreSQL's own text form, cut after PreviewTextLimit units (never inside a surrogate
// pair) with "…" added; only of the rows where the condition holds, when it is not empty
// (RowCondition). Throws DbError, or ConditionRefused.
QStringList PreviewField(const ConnectionSettings &settings, const TableRef &table,
                         const QString &field, const QString &condition = {});

// A value as a list shows it: a value of more than PreviewTextLimit units shows its first ones,
// never half of a character outside the basic plane, and "…".
QString ShownText(QString text);
