#include "db/rowidentity.h"

#include "db/dbsession.h"
#include "db/sqlquote.h"
#include "db/tableplan.h"
#include "db/tableref.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

RowIdentity RowIdentity::Of(DbSession &session, const TableRef &table)
{
    const std::optional<TablePlan> plan = TablePlan::Of(session, table.sql());
    if (!plan)
        throw DbError(QStringLiteral("The table %1 does not exist.").arg(table.sql()));
    return Of(session, *plan);
}

RowIdentity RowIdentity::Of(DbSession &session, const TablePlan &plan)
{
    // A partition has the key's unique index of its own; a table that merely inherits does not,
    // and the key's values may repeat there.
    if (plan.hasInheritingChildren(session))
        return {};

    RowIdentity identity;
    QSqlQuery key = session.exec(
        QStringLiteral(
            "SELECT a.attname, tn.nspname, t.typname FROM pg_index i"
            " CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n)"
            " JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum"
            " JOIN pg_type t ON t.oid = a.atttypid"
            " JOIN pg_namespace tn ON tn.oid = t.typnamespace"
            " WHERE i.indrelid = %1 AND i.indisprimary AND k.n <= i.indnkeyatts"
            " ORDER BY k.n")
            .arg(plan.oid()));
    while (key.next())
        identity.key.push_back({key.value(0).toString(),
                                QualifiedName(key.value(1).toString(), key.value(2).toString())});
    return identity;
}

QString RowIdentity::sql(const QString &alias) const
{
    if (byPosition())
        return QStringLiteral("CAST(%1.ctid AS text)").arg(alias);
    if (key.size() == 1)
        return TextFormOf(alias + u'.' + QuoteIdentifier(key.first().name));
    QStringList parts;
    for (const Column &column : key)
        parts << TextFormOf(alias + u'.' + QuoteIdentifier(column.name));
    return QStringLiteral("CAST(ARRAY[%1] AS text)").arg(parts.join(QStringLiteral(", ")));
}

QChar RowIdentity::separator() const
{
    // A ctid reads "(block,offset)"; an integer, digits and a sign.
    if (byPosition())
        return u' ';
    static const QStringList integers{QStringLiteral("\"pg_catalog\".\"int2\""),
                                      QStringLiteral("\"pg_catalog\".\"int4\""),
                                      QStringLiteral("\"pg_catalog\".\"int8\"")};
    if (key.size() == 1 && integers.contains(key.first().typeSql))
        return u',';
    return {};
}

QString RowIdentity::matchSql(const QString &alias, const QString &identityText) const
{
    if (byPosition())
        return QStringLiteral("%1.ctid = CAST(%2 AS pg_catalog.tid)").arg(alias, identityText);
    if (key.size() == 1)
        return QStringLiteral("%1.%2 = CAST(%3 AS %4)")
            .arg(alias, QuoteIdentifier(key.first().name), identityText, key.first().typeSql);
    QStringList conditions;
    for (qsizetype i = 0; i < key.size(); ++i)
        conditions << QStringLiteral("%1.%2 = CAST((CAST(%3 AS text[]))[%4] AS %5)")
                          .arg(alias, QuoteIdentifier(key[i].name), identityText,
                               QString::number(i + 1), key[i].typeSql);
    return u'(' + conditions.join(QStringLiteral(" AND ")) + u')';
}

QString RowIdentity::toText() const
{
    QJsonArray columns;
    for (const Column &column : key)
        columns.append(QJsonObject{{QStringLiteral("name"), column.name},
                                   {QStringLiteral("type"), column.typeSql}});
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("key"), columns}})
                                 .toJson(QJsonDocument::Compact));
}

bool RowIdentity::FromText(const QString &text, RowIdentity &identity)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject() || !document.object().value(QStringLiteral("key")).isArray())
        return false;
    identity.key.clear();
    for (const QJsonValue &value : document.object().value(QStringLiteral("key")).toArray()) {
        const QJsonObject column = value.toObject();
        const QString name = column.value(QStringLiteral("name")).toString();
        const QString type = column.value(QStringLiteral("type")).toString();
        if (name.isEmpty() || type.isEmpty())
            return false;
        identity.key.push_back({name, type});
    }
    return true;
}
