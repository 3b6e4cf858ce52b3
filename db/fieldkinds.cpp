#include "db/fieldkinds.h"

#include "db/sqlquote.h"

#include <QSqlQuery>
#include <QVariant>

QString FieldKind::leftAloneReason() const
{
    if (!character)
        return QStringLiteral("not text");
    if (generated)
        return QStringLiteral("generated");
    if (!updatable)
        return QStringLiteral("no UPDATE privilege");
    return {};
}

QList<FieldKind> FieldKinds(DbSession &session, quint32 tableOid)
{
    // Generated columns came with PostgreSQL 12; older servers have none.
    QSqlQuery version = session.exec(QStringLiteral("SHOW server_version_num"));
    const bool hasGenerated = version.next() && version.value(0).toInt() >= 120000;

    // Each column's type is followed through domains and one array level down to the type
    // that holds the letters; citext is known by its name, as an extension puts it in any
    // schema under an oid of its own.
    const QString sql =
        QStringLiteral(
            "WITH RECURSIVE chain(attnum, typid, is_array, depth) AS ("
            " SELECT a.attnum, a.atttypid, false, 0 FROM pg_attribute a"
            " WHERE a.attrelid = %1 AND a.attnum > 0 AND NOT a.attisdropped"
            " UNION ALL"
            " SELECT c.attnum, CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE t.typelem END,"
            " c.is_array OR t.typtype <> 'd', c.depth + 1"
            " FROM chain c JOIN pg_type t ON t.oid = c.typid"
            " WHERE c.depth < 32 AND (t.typtype = 'd'"
            " OR (t.typcategory = 'A' AND t.typelem <> 0 AND NOT c.is_array)))"
            " SELECT a.attname, format_type(a.atttypid, a.atttypmod), tn.nspname, t.typname,"
            " (SELECT bt.oid IN ('text'::regtype, 'varchar'::regtype, 'bpchar'::regtype,"
            " 'name'::regtype) OR (bt.typname = 'citext' AND bt.typtype = 'b')"
            " FROM chain c JOIN pg_type bt ON bt.oid = c.typid WHERE c.attnum = a.attnum"
            " ORDER BY c.depth DESC LIMIT 1),"
            " (SELECT bool_or(c.is_array) FROM chain c WHERE c.attnum = a.attnum),"
            " a.atttypid IN ('text'::regtype, 'varchar'::regtype),"
            " %2, has_column_privilege(a.attrelid, a.attnum, 'UPDATE')"
            " FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid"
            " JOIN pg_namespace tn ON tn.oid = t.typnamespace"
            " WHERE a.attrelid = %1 AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum")
            .arg(tableOid)
            .arg(hasGenerated ? QStringLiteral("a.attgenerated <> ''") : QStringLiteral("false"));
    QSqlQuery query = session.exec(sql);
    QList<FieldKind> kinds;
    while (query.next()) {
        FieldKind kind;
        kind.name = query.value(0).toString();
        kind.type = query.value(1).toString();
        kind.typeSql = QualifiedName(query.value(2).toString(), query.value(3).toString());
        kind.character = query.value(4).toBool();
        kind.array = query.value(5).toBool();
        kind.plainText = query.value(6).toBool();
        kind.generated = query.value(7).toBool();
        kind.updatable = query.value(8).toBool();
        kinds.push_back(kind);
    }
    return kinds;
}

QString LeftAloneText(const QList<FieldKind> &fields)
{
    QStringList reasons, lines;
    for (const FieldKind &field : fields)
        if (!reasons.contains(field.leftAloneReason()))
            reasons << field.leftAloneReason();
    for (const QString &reason : std::as_const(reasons)) {
        QStringList names;
        for (const FieldKind &field : fields)
            if (field.leftAloneReason() == reason)
                names << QStringLiteral("%1 (%2)").arg(field.name, field.type);
        lines
            << QStringLiteral("Left alone (%1): %2").arg(reason, names.join(QStringLiteral(", ")));
    }
    return lines.join(u'\n');
}
