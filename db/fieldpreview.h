// The first values of a field, as stored, for the preview list.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"

#include <QStringList>

inline constexpr int PreviewLimit = 101;

// At most PreviewLimit values in the server's order: NULL as the empty text, other values
// in PostgreSQL's own text form. Throws DbError.
QStringList PreviewField(const ConnectionSettings &settings, const TableRef &table,
                         const QString &field);
