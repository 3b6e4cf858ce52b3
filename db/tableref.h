// A table as the catalogue lists it: its schema and its name.
#pragma once

#include "db/sqlquote.h"

#include <QMetaType>
#include <QString>

struct TableRef {
    QString schema;
    QString name;

    // What the table list shows: the bare name in "public", schema.name elsewhere. A part
    // that holds a dot or a double quote is shown quoted, or "a.b".c and a."b.c" would both
    // read a.b.c.
    QString displayName() const
    {
        return schema == QLatin1String("public") ? shown(name) : shown(schema) + u'.' + shown(name);
    }

    // The schema-qualified, quoted name for SQL.
    QString sql() const { return QualifiedName(schema, name); }

    friend bool operator==(const TableRef &, const TableRef &) = default;

private:
    static QString shown(const QString &part)
    {
        return part.contains(u'.') || part.contains(u'"') ? QuoteIdentifier(part) : part;
    }
};

Q_DECLARE_METATYPE(TableRef)
