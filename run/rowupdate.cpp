#include "run/rowupdate.h"

#include "db/sqlquote.h"

#include <QStringList>

RowUpdate::RowUpdate(const WriteTarget &target, bool byPlace)
    : target_(target), byPlace_(byPlace), byKey_(target.byKey())
{
}

namespace {

// Row t's place among the chunk's keys, from 0.
QString keyPlace(const WriteTarget &target)
{
    return QStringLiteral("(width_bucket(t.%1, (SELECT s.keys FROM s)) - 1)").arg(target.keySql);
}

} // namespace

QString RowUpdate::oldValue(qsizetype k) const
{
    if (!byKey_)
        return QStringLiteral("v.o%1").arg(k);
    return QStringLiteral("((SELECT s.o%1 FROM s) ->> %2)").arg(k).arg(keyPlace(target_));
}

QString RowUpdate::newValue(qsizetype k) const
{
    if (!byKey_)
        return QStringLiteral("v.n%1").arg(k);
    return QStringLiteral("((SELECT s.n%1 FROM s) ->> %2)").arg(k).arg(keyPlace(target_));
}

QString RowUpdate::columns(const QString &prefix) const
{
    QStringList names;
    if (byPlace_)
        names << prefix + QStringLiteral("c");
    for (qsizetype k = 0; k < target_.fields.size(); ++k)
        names << prefix + QStringLiteral("o%1").arg(k) << prefix + QStringLiteral("n%1").arg(k);
    names << prefix + QStringLiteral("i");
    return names.join(QStringLiteral(", "));
}

qsizetype RowUpdate::arrays() const
{
    return target_.fields.size() * 2 + (byPlace_ ? 1 : 0);
}

// One text per list: the place's for the first when matched by place, the values' for the
// rest, joined.
QString RowUpdate::perList(const QString &place, const QString &values) const
{
    QStringList lists;
    if (byPlace_)
        lists << place;
    for (qsizetype k = 0; k < target_.fields.size() * 2; ++k)
        lists << values;
    return lists.join(QStringLiteral(", "));
}

QString RowUpdate::arraysFromParameters() const
{
    return perList(QStringLiteral("CAST(string_to_array(?, ?) AS pg_catalog.tid[])"),
                   QStringLiteral("string_to_array(?, ?)"));
}

QString RowUpdate::arraysFromArguments() const
{
    QStringList arguments;
    for (qsizetype n = 1; n <= arrays(); ++n)
        arguments << QStringLiteral("$%1").arg(n);
    return arguments.join(QStringLiteral(", "));
}

QString RowUpdate::argumentTypes() const
{
    return perList(QStringLiteral("pg_catalog.tid[]"), QStringLiteral("text[]"));
}

// An empty new value marks a field the item does not change. Values that are not text are
// compared in their text form, and the new text must change that form: a type may read it back
// as the old value, and writing it would only make a new row version and fire the triggers.
QString RowUpdate::changes(qsizetype k) const
{
    const TargetField &field = target_.fields[k];
    // By key, the test is made on the jsonb element, which has no collation: the wrapper sends
    // no comparison of texts whose collation does not come from a column of the remote table.
    const QString changes = byKey_
                                ? QStringLiteral("((SELECT s.n%1 FROM s) -> %2) <> '\"\"'::jsonb")
                                      .arg(k)
                                      .arg(keyPlace(target_))
                                : QStringLiteral("coalesce(v.n%1, '') <> ''").arg(k);
    if (field.plainText)
        return changes;
    return QStringLiteral("(%1 AND format('%s', CAST(%2 AS %3)) <> %4 COLLATE \"C\")")
        .arg(changes, newValue(k), field.typeSql, oldValue(k));
}

QString RowUpdate::holds(qsizetype k) const
{
    const TargetField &field = target_.fields[k];
    const QString value = QStringLiteral("t.") + field.sql;
    // Each text goes in by one arg(): a name may hold "%1" itself. By key, the wrapper would
    // not send a comparison in the "C" collation; the default collation is deterministic, so
    // that texts are equal in it only when they are equal byte for byte.
    return (byKey_ ? QStringLiteral("%1 = %2") : QStringLiteral("%1 = %2 COLLATE \"C\""))
        .arg(field.plainText ? value : QStringLiteral("format('%s', %1)").arg(value), oldValue(k));
}

QString RowUpdate::set() const
{
    const QList<TargetField> &fields = target_.fields;
    if (fields.size() == 1)
        return QStringLiteral("%1 = CAST(%2 AS %3)")
            .arg(fields[0].sql, newValue(0), fields[0].typeSql);
    // A field the item leaves as it is keeps the row's own value.
    QStringList sets;
    for (qsizetype k = 0; k < fields.size(); ++k)
        sets << QStringLiteral("%1 = CASE WHEN %2 THEN CAST(%3 AS %4) ELSE t.%1 END")
                    .arg(fields[k].sql, changes(k), newValue(k), fields[k].typeSql);
    return sets.join(QStringLiteral(", "));
}

QString RowUpdate::match() const
{
    const QList<TargetField> &fields = target_.fields;
    QStringList conditions;
    if (byPlace_)
        conditions << QStringLiteral("t.ctid = v.c");
    QStringList anyChanges;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        if (fields.size() == 1) {
            conditions << holds(k);
            // By key, every item of one field changes it (the chunk has no others), and the
            // test would cost the remote server a further look into the new values per row.
            if (!byKey_ || !fields[k].plainText)
                conditions << changes(k);
        } else {
            conditions << QStringLiteral("(NOT %1 OR %2)").arg(changes(k), holds(k));
            anyChanges << changes(k);
        }
    }
    if (!anyChanges.isEmpty())
        conditions << u'(' + anyChanges.join(QStringLiteral(" OR ")) + u')';
    return conditions.join(QStringLiteral(" AND "));
}

QString RowUpdate::mask() const
{
    if (target_.fields.size() == 1)
        return QStringLiteral("1");
    QStringList bits;
    for (qsizetype k = 0; k < target_.fields.size(); ++k)
        bits << QStringLiteral("CASE WHEN %1 THEN %2 ELSE 0 END")
                    .arg(changes(k), QString::number(1 << k));
    return bits.join(QStringLiteral(" + "));
}

QString RowUpdate::keyStatement(bool recording, bool masked) const
{
    QStringList lists;
    lists << QStringLiteral("CAST(string_to_array(?, ?) AS %1[]) AS keys").arg(target_.keyTypeSql);
    for (qsizetype k = 0; k < target_.fields.size(); ++k) {
        for (const QChar kind : {u'o', u'n'})
            lists << QStringLiteral("to_jsonb(string_to_array(?, ?)) AS ") + kind +
                         QString::number(k);
    }
    // The arrays are made once, here, and reach the remote server as the statement's
    // parameters. The keys come in key order, so that the rows are picked by a range of the key
    // and width_bucket finds each row's item by halving; a row of the range whose key is not
    // among them is written only where it holds the old values of the item whose place it
    // takes, with that item's conversion of those very values.
    return QStringLiteral("WITH s AS MATERIALIZED (SELECT %1),"
                          " w AS (UPDATE %2 AS t SET %3 WHERE t.%4 >= (SELECT s.keys[1] FROM s)"
                          " AND t.%4 <= (SELECT s.keys[cardinality(s.keys)] FROM s) AND %5 AND %6"
                          " RETURNING %7 + 1 AS i, %8 AS id, %9 AS m) ")
        .arg(lists.join(QStringLiteral(", ")), target_.relation, set(), target_.keySql,
             target_.filter.isEmpty() ? QStringLiteral("true") : target_.filter, match(),
             keyPlace(target_), recording ? target_.identity : QStringLiteral("NULL::text"),
             masked ? mask() : QStringLiteral("1"));
}
