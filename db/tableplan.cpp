#include "db/tableplan.h"

#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QVariant>
#include <algorithm>

std::optional<TablePlan> TablePlan::Of(DbSession &session, const QString &tableSql)
{
    QSqlQuery found = session.exec(
        QStringLiteral("SELECT c.oid, c.relkind FROM pg_class c WHERE c.oid = to_regclass(?)"),
        {tableSql});
    if (!found.next() || found.value(0).isNull())
        return std::nullopt;
    TablePlan plan;
    plan.oid_ = found.value(0).toString();
    plan.partitioned_ = found.value(1).toString() == QLatin1String("p");
    plan.fields_ = FieldKinds(session, plan.oid_.toUInt());
    return plan;
}

std::optional<FieldKind> TablePlan::field(const QString &name) const
{
    const auto kind = std::find_if(fields_.cbegin(), fields_.cend(),
                                   [&](const FieldKind &k) { return k.name == name; });
    if (kind == fields_.cend())
        return std::nullopt;
    return *kind;
}

QString TablePlan::treeSql() const
{
    return QStringLiteral("WITH RECURSIVE tree(oid) AS (SELECT %1::oid UNION"
                          " SELECT i.inhrelid FROM pg_inherits i"
                          " JOIN tree ON i.inhparent = tree.oid)")
        .arg(oid_);
}

QList<StoredRelation> TablePlan::storedRelations(DbSession &session) const
{
    QSqlQuery tree =
        session.exec(treeSql() + QStringLiteral(" SELECT c.oid, n.nspname, c.relname,"
                                                " pg_relation_size(c.oid)"
                                                " / current_setting('block_size')::bigint"
                                                " FROM tree JOIN pg_class c ON c.oid = tree.oid"
                                                " JOIN pg_namespace n ON n.oid = c.relnamespace"
                                                " WHERE c.relkind = 'r' ORDER BY c.oid"));
    QList<StoredRelation> relations;
    while (tree.next())
        relations.push_back({tree.value(0).toString(),
                             QualifiedName(tree.value(1).toString(), tree.value(2).toString()),
                             tree.value(3).toLongLong()});
    return relations;
}

QList<KeyedRelation> TablePlan::keyedRelations(DbSession &session) const
{
    QSqlQuery tree = session.exec(
        treeSql() + QStringLiteral(" SELECT c.oid, n.nspname, c.relname, p.partrelid"
                                   " FROM tree JOIN pg_class c ON c.oid = tree.oid"
                                   " JOIN pg_namespace n ON n.oid = c.relnamespace"
                                   " LEFT JOIN pg_inherits i ON i.inhrelid = c.oid"
                                   " AND c.relispartition"
                                   " LEFT JOIN pg_partitioned_table p ON p.partrelid = i.inhparent"
                                   " WHERE c.relkind = 'f' ORDER BY c.oid"));
    QList<std::pair<KeyedRelation, QString>> found;
    while (tree.next())
        found.push_back({{tree.value(0).toString(),
                          QualifiedName(tree.value(1).toString(), tree.value(2).toString()),
                          {},
                          false},
                         tree.value(3).toString()});
    QList<KeyedRelation> relations;
    for (auto &[relation, parent] : found) {
        // PostgreSQL keeps a unique index off a partitioned table that has a foreign partition,
        // and a foreign table has no index of its own, so the partition key is the one key the
        // parent knows of such a table. A foreign table that merely inherits has none.
        if (!parent.isEmpty())
            readKey(session, parent, relation);
        relations.push_back(relation);
    }
    return relations;
}

void TablePlan::readKey(DbSession &session, const QString &parentOid, KeyedRelation &relation)
{
    // An expression in the key cannot be walked, nor a hash key of a type without an order.
    QSqlQuery key = session.exec(
        QStringLiteral(
            "SELECT a.attname, tn.nspname, t.typname, NOT a.attnotnull,"
            " p.partstrat <> 'h' OR EXISTS (SELECT FROM pg_opclass o"
            " JOIN pg_am m ON m.oid = o.opcmethod WHERE m.amname = 'btree' AND o.opcdefault"
            " AND (o.opcintype = a.atttypid OR EXISTS (SELECT FROM pg_cast k"
            " WHERE k.castsource = a.atttypid AND k.casttarget = o.opcintype"
            " AND k.castmethod = 'b')))"
            " FROM pg_partitioned_table p"
            " CROSS JOIN LATERAL unnest(p.partattrs::int2[]) WITH ORDINALITY AS k(attnum, n)"
            " LEFT JOIN pg_attribute pa ON pa.attrelid = p.partrelid AND pa.attnum = k.attnum"
            " LEFT JOIN pg_attribute a ON a.attrelid = %1 AND a.attname = pa.attname"
            " LEFT JOIN pg_type t ON t.oid = a.atttypid"
            " LEFT JOIN pg_namespace tn ON tn.oid = t.typnamespace"
            " WHERE p.partrelid = %2 ORDER BY k.n")
            .arg(relation.oid, parentOid));
    QList<RowIdentity::Column> columns;
    bool mayBeNull = false;
    while (key.next()) {
        if (key.value(0).isNull() || !key.value(4).toBool())
            return;
        columns.push_back({key.value(0).toString(),
                           QualifiedName(key.value(1).toString(), key.value(2).toString())});
        mayBeNull = mayBeNull || key.value(3).toBool();
    }
    relation.key = columns;
    relation.keyMayBeNull = mayBeNull;
}

bool TablePlan::inPartitionKey(DbSession &session, const QString &field) const
{
    QSqlQuery key = session.exec(
        treeSql() + QStringLiteral(" SELECT EXISTS (SELECT 1 FROM pg_partitioned_table p"
                                   " JOIN tree ON p.partrelid = tree.oid WHERE 0 = ANY(p.partattrs)"
                                   " OR EXISTS (SELECT 1 FROM pg_attribute a"
                                   " WHERE a.attrelid = p.partrelid AND a.attname = ?"
                                   " AND a.attnum = ANY(p.partattrs)))"),
        {field});
    return key.next() && key.value(0).toBool();
}

bool TablePlan::hasInheritingChildren(DbSession &session) const
{
    QSqlQuery children = session.exec(
        treeSql() + QStringLiteral(" SELECT count(*) FROM tree JOIN pg_class c ON c.oid = tree.oid"
                                   " WHERE c.oid <> %1 AND NOT c.relispartition")
                        .arg(oid_));
    return children.next() && children.value(0).toLongLong() > 0;
}

QStringList TablePlan::untrustedOwners(DbSession &session) const
{
    QSqlQuery owners = session.exec(
        treeSql() +
        QStringLiteral(", owner(oid) AS (SELECT c.relowner FROM tree JOIN pg_class c"
                       " ON c.oid = tree.oid UNION SELECT p.proowner FROM tree"
                       " JOIN pg_trigger g ON g.tgrelid = tree.oid AND NOT g.tgisinternal"
                       " JOIN pg_proc p ON p.oid = g.tgfoid)"
                       " SELECT r.rolname FROM owner JOIN pg_roles r ON r.oid = owner.oid"
                       " WHERE NOT r.rolsuper AND (SELECT u.rolsuper FROM pg_roles u"
                       " WHERE u.rolname = current_user) ORDER BY r.rolname"));
    QStringList roles;
    while (owners.next())
        roles << owners.value(0).toString();
    return roles;
}
