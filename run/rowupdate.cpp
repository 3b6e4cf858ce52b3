#include "run/rowupdate.h"

#include "db/sqlquote.h"

#include <QStringList>

RowUpdate::RowUpdate(const WriteTarget &target, bool byPlace) : target_(target), byPlace_(byPlace)
{
}

QString RowUpdate::columns() const
{
    QStringList names;
    if (byPlace_)
        names << QStringLiteral("c");
    for (qsizetype k = 0; k < target_.fields.size(); ++k)
        names << QStringLiteral("o%1").arg(k) << QStringLiteral("n%1").arg(k);
    names << QStringLiteral("i");
    return names.join(QStringLiteral(", "));
}

qsizetype RowUpdate::arrays() const
{
    return target_.fields.size() * 2 + (byPlace_ ? 1 : 0);
}

QString RowUpdate::arraysFromParameters() const
{
    QStringList arrays;
    if (byPlace_)
        arrays << QStringLiteral("CAST(string_to_array(?, ?) AS pg_catalog.tid[])");
    for (qsizetype k = 0; k < target_.fields.size() * 2; ++k)
        arrays << QStringLiteral("string_to_array(?, ?)");
    return arrays.join(QStringLiteral(", "));
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
    QStringList types;
    if (byPlace_)
        types << QStringLiteral("pg_catalog.tid[]");
    for (qsizetype k = 0; k < target_.fields.size() * 2; ++k)
        types << QStringLiteral("text[]");
    return types.join(QStringLiteral(", "));
}

// An empty new value marks a field the item does not change. Values that are not text are
// compared in their text form, and the new text must change that form: a type may read it back
// as the old value, and writing it would only make a new row version and fire the triggers.
QString RowUpdate::changes(qsizetype k) const
{
    const TargetField &field = target_.fields[k];
    if (field.plainText)
        return QStringLiteral("coalesce(v.n%1, '') <> ''").arg(k);
    return QStringLiteral("(coalesce(v.n%1, '') <> '' AND format('%s', CAST(v.n%1 AS %2))"
                          " <> v.o%1 COLLATE \"C\")")
        .arg(k)
        .arg(field.typeSql);
}

QString RowUpdate::holds(qsizetype k) const
{
    const TargetField &field = target_.fields[k];
    const QString value = QStringLiteral("t.") + field.sql;
    return QStringLiteral("%1 = v.o%2 COLLATE \"C\"")
        .arg(field.plainText ? value : QStringLiteral("format('%s', %1)").arg(value))
        .arg(k);
}

QString RowUpdate::set() const
{
    const QList<TargetField> &fields = target_.fields;
    if (fields.size() == 1)
        return QStringLiteral("%1 = CAST(v.n0 AS %2)").arg(fields[0].sql, fields[0].typeSql);
    // A field the item leaves as it is keeps the row's own value.
    QStringList sets;
    for (qsizetype k = 0; k < fields.size(); ++k)
        sets << QStringLiteral("%1 = CASE WHEN %2 THEN CAST(v.n%3 AS %4) ELSE t.%1 END")
                    .arg(fields[k].sql, changes(k))
                    .arg(k)
                    .arg(fields[k].typeSql);
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
            conditions << holds(k) << changes(k);
        } else {
            conditions << QStringLiteral("(NOT %1 OR %2)").arg(changes(k), holds(k));
            anyChanges << changes(k);
        }
        if (fields[k].mayChange != QLatin1String("true"))
            conditions << fields[k].mayChange;
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
        bits << QStringLiteral("CASE WHEN %1 THEN %2 ELSE 0 END").arg(changes(k)).arg(1 << k);
    return bits.join(QStringLiteral(" + "));
}
