// The tables of a database and the fields of a table, as data for the main window's lists.
#pragma once

#include "db/connectionsettings.h"
#include "db/fieldkinds.h"
#include "db/tableref.h"

#include <QList>
#include <QStringList>
#include <optional>

// The user's tables (pg_tables without pg_catalog and information_schema), each with its
// schema, sorted by schema and name. Throws DbError.
QList<TableRef> ListTables(const ConnectionSettings &settings);

// The column names of the table in column order; reads no row. Throws DbError.
QStringList ListFields(const ConnectionSettings &settings, const TableRef &table);

// The same, with what each column is (FieldKinds), through one session: the kinds of the columns
// that a run may not rewrite tell the list why. Throws DbError.
struct ListedFields {
    QStringList names;
    QList<FieldKind> kinds; // in column order; empty when the table is gone meanwhile
};
ListedFields ListFieldsWithKinds(const ConnectionSettings &settings, const TableRef &table);

// What a relation of that name that is no table is, in words ("a view", "a foreign table");
// none when there is no such relation, or it is a table. Throws DbError.
std::optional<QString> RelationKind(const ConnectionSettings &settings, const TableRef &table);
