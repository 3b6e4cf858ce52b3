// The tables of a database and the fields of a table, as data for the main window's lists.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"

#include <QList>
#include <QStringList>

// The user's tables (pg_tables without pg_catalog and information_schema), each with its
// schema, sorted by schema and name. Throws DbError.
QList<TableRef> ListTables(const ConnectionSettings &settings);

// The column names of the table in column order; reads no row. Throws DbError.
QStringList ListFields(const ConnectionSettings &settings, const TableRef &table);
