// The table and field listings of the main window, read from the server as plain data.
#include "db/catalogue.h"

#include "db/dbsession.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {

// QSqlQuery::next() answers false both at the end and on a failed fetch; only the error tells
// them apart, and a half-read list must not pass for a whole one.
void throwIfFetchFailed(const QSqlQuery &query)
{
    if (query.lastError().isValid())
        throw DbSession::errorFrom(query.lastError());
}

} // namespace

QList<TableRef> ListTables(const ConnectionSettings &settings)
{
    DbSession session(settings);
    // The two system schemas are left out: rewriting a catalogue table corrupts the database,
    // and the information-schema tables cannot be opened by their bare names anyway. So are
    // the temporary tables of other sessions, whose rows no other session can read. Sorted
    // by schema and name, so that a table is found where the user looks for it.
    QSqlQuery query =
        session.exec(QStringLiteral("select schemaname, tablename from pg_tables"
                                    " where schemaname not in ('pg_catalog', 'information_schema')"
                                    " and schemaname not like 'pg\\_temp\\_%'"
                                    " and schemaname not like 'pg\\_toast\\_temp\\_%'"
                                    " order by schemaname, tablename"));
    QList<TableRef> tables;
    while (query.next())
        tables.append({query.value(0).toString(), query.value(1).toString()});
    throwIfFetchFailed(query);
    return tables;
}

namespace {

QStringList FieldsOf(DbSession &session, const TableRef &table)
{
    // LIMIT 0: only the result's columns are wanted, and the driver would otherwise buffer
    // every row of the table in client memory first.
    const QSqlQuery query =
        session.exec(QStringLiteral("SELECT * FROM ") + table.sql() + QStringLiteral(" LIMIT 0"));
    const QSqlRecord record = query.record();
    QStringList fields;
    fields.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        fields.append(record.fieldName(i));
    return fields;
}

} // namespace

QStringList ListFields(const ConnectionSettings &settings, const TableRef &table)
{
    DbSession session(settings);
    return FieldsOf(session, table);
}

ListedFields ListFieldsWithKinds(const ConnectionSettings &settings, const TableRef &table)
{
    DbSession session(settings);
    ListedFields listed{FieldsOf(session, table), {}};
    QSqlQuery oid = session.exec(
        QStringLiteral("SELECT c.oid FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n"
                       " ON n.oid = c.relnamespace WHERE n.nspname = ? AND c.relname = ?"),
        {table.schema, table.name});
    if (oid.next())
        listed.kinds = FieldKinds(session, oid.value(0).toUInt());
    return listed;
}

std::optional<QString> RelationKind(const ConnectionSettings &settings, const TableRef &table)
{
    DbSession session(settings);
    QSqlQuery query = session.exec(
        QStringLiteral("SELECT c.relkind FROM pg_class c JOIN pg_namespace n"
                       " ON n.oid = c.relnamespace WHERE n.nspname = ? AND c.relname = ?"),
        {table.schema, table.name});
    if (!query.next())
        return std::nullopt;
    const QString kind = query.value(0).toString();
    static const QList<std::pair<QString, QString>> words = {
        {QStringLiteral("v"), QStringLiteral("a view")},
        {QStringLiteral("m"), QStringLiteral("a materialized view")},
        {QStringLiteral("f"), QStringLiteral("a foreign table, whose rows live on another server")},
        {QStringLiteral("S"), QStringLiteral("a sequence")},
        {QStringLiteral("i"), QStringLiteral("an index")},
        {QStringLiteral("I"), QStringLiteral("an index")},
        {QStringLiteral("c"), QStringLiteral("a composite type")},
        {QStringLiteral("t"), QStringLiteral("a TOAST table")}};
    for (const auto &[letter, word] : words) {
        if (kind == letter)
            return word;
    }
    return std::nullopt;
}
