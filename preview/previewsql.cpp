#include "preview/previewsql.h"

#include "db/changefilter.h"
#include "db/sqlquote.h"

#include <QStringList>

PreviewSql::PreviewSql(CaseMode mode, bool utf8, const QList<FieldKind> &fields,
                       const QStringList &relations)
    : mode_(mode), utf8_(utf8), fields_(fields), relations_(relations)
{
}

bool PreviewSql::serverJudgesAscii(qsizetype k) const
{
    return utf8_ && !fields_[k].array && ServerJudgesAscii(mode_);
}

// The values that the server may not leave out and cannot judge itself. An array may change
// when one of its elements may.
QString PreviewSql::clientJudges(qsizetype k, const QString &v) const
{
    if (fields_[k].array)
        return QStringLiteral("EXISTS (SELECT FROM unnest(%1) AS e(x) WHERE %2)")
            .arg(v, MayChangeSql(mode_, utf8_, QStringLiteral("e.x::text")));
    if (!utf8_ || !ServerJudgesAscii(mode_))
        return QStringLiteral("(%1 IS NOT NULL AND %2)").arg(v, MayChangeSql(mode_, utf8_, v));
    return QStringLiteral("octet_length(%1) <> length(%1)").arg(v);
}

// In UTF-8 a value is all ASCII exactly when it has one byte per character.
QString PreviewSql::asciiChanges(const QString &v) const
{
    return QStringLiteral("(octet_length(%1) = length(%1) AND %2)")
        .arg(v, AsciiChangeSql(mode_, v));
}

QString PreviewSql::hash(const QString &v)
{
    return QStringLiteral("hashtextextended(%1 COLLATE \"C\", 0)").arg(v);
}

// Text and varchar as they are, other types in their text form, arrays as the array itself.
QString PreviewSql::value(qsizetype k) const
{
    const QString column = QuoteIdentifier(fields_[k].name);
    return fields_[k].plainText || fields_[k].array ? column : TextFormOf(column);
}

// OFFSET 0 keeps the server from computing a text form again wherever v<k> is used.
QString PreviewSql::relationRows(const QList<qsizetype> &ks, const QString &relation,
                                 const QString &where) const
{
    QStringList columns;
    bool textForms = false;
    for (qsizetype k : ks) {
        columns << QStringLiteral("%1 AS v%2").arg(value(k), QString::number(k));
        textForms = textForms || !fields_[k].plainText;
    }
    return QStringLiteral("SELECT %1 FROM ONLY %2%3%4")
        .arg(columns.join(QStringLiteral(", ")), relation,
             where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
             textForms ? QStringLiteral(" OFFSET 0") : QString());
}

QString PreviewSql::rows(const QList<qsizetype> &ks) const
{
    QStringList branches;
    for (const QString &relation : std::as_const(relations_))
        branches << QLatin1Char('(') + relationRows(ks, relation) + QLatin1Char(')');
    return branches.join(QStringLiteral(" UNION ALL "));
}

QString PreviewSql::asciiValues(qsizetype k) const
{
    const QString v = QStringLiteral("v%1").arg(k);
    return QStringLiteral("SELECT %1 AS v FROM (%2) AS r WHERE %3")
        .arg(v, rows({k}), asciiChanges(v));
}

QString PreviewSql::pairs(const QList<qsizetype> &ks,
                          const std::function<QString(qsizetype)> &where, bool rowFilter) const
{
    QStringList pairs, any;
    for (qsizetype k : ks) {
        const QString v = QStringLiteral("r.v%1").arg(k);
        pairs << QStringLiteral("(%1, CASE WHEN %2 THEN %3 END)")
                     .arg(k)
                     .arg(where(k), fields_[k].array ? TextFormOf(v) : v);
        any << where(k);
    }
    return QStringLiteral("SELECT u.k, u.v FROM (%1) AS r CROSS JOIN LATERAL (VALUES %2) AS"
                          " u(k, v) WHERE u.v IS NOT NULL%3")
        .arg(rows(ks), pairs.join(QStringLiteral(", ")),
             rowFilter ? QStringLiteral(" AND (%1)").arg(any.join(QStringLiteral(" OR ")))
                       : QString());
}
