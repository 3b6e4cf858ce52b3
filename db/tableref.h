// A table as the catalogue lists it: its schema and its name.
#pragma once

#include "db/sqlquote.h"

#include <QMetaType>
#include <QString>

struct TableRef {
    QString schema;
    QString name;

    // What the table list shows: the bare name in "public", schema.name elsewhere.
    QString displayName() const
    {
        return schema == QLatin1String("public") ? name : schema + u'.' + name;
    }

    // The schema-qualified, quoted name for SQL.
    QString sql() const { return QualifiedName(schema, name); }

    friend bool operator==(const TableRef &, const TableRef &) = default;
};

Q_DECLARE_METATYPE(TableRef)
