#include "preview/previewsql.h"

#include "db/changefilter.h"
#include "db/sqlquote.h"
#include "preview/changepreview.h"

#include <QStringList>

namespace {

// A value listed keeps its start and one character more, to tell that it goes on.
const QString CutSql = QStringLiteral("left(v, %1)").arg(PreviewValueChars + 1);

} // namespace

PreviewSql::PreviewSql(CaseMode mode, bool utf8, const QList<FieldKind> &fields,
                       const QStringList &relations, const QString &condition)
    : mode_(mode), utf8_(utf8), fields_(fields), relations_(relations), condition_(condition)
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
    return QStringLiteral("SELECT %1 FROM ONLY %2 AS t WHERE %3%4%5")
        .arg(columns.join(QStringLiteral(", ")), relation, condition_,
             where.isEmpty() ? QString() : QStringLiteral(" AND ") + where,
             textForms ? QStringLiteral(" OFFSET 0") : QString());
}

QString PreviewSql::rows(const QList<qsizetype> &ks) const
{
    QStringList branches;
    for (const QString &relation : std::as_const(relations_))
        branches << QLatin1Char('(') + relationRows(ks, relation) + QLatin1Char(')');
    return branches.join(QStringLiteral(" UNION ALL "));
}

QString PreviewSql::asciiValues(qsizetype k, qint64 limit) const
{
    const QString v = QStringLiteral("v%1").arg(k);
    return QStringLiteral("(SELECT %1, %2 FROM (SELECT %3 AS v FROM (%4) AS r WHERE %5) AS s"
                          " LIMIT %6)")
        .arg(QString::number(k), CutSql, v, rows({k}), asciiChanges(v), QString::number(limit));
}

QString PreviewSql::asciiPairs(const QList<qsizetype> &ks) const
{
    return pairs(
        ks, [this](qsizetype k) { return asciiChanges(QStringLiteral("r.v%1").arg(k)); }, false);
}

QString PreviewSql::groupedAscii(const QList<qsizetype> &ks) const
{
    return QStringLiteral("WITH g AS MATERIALIZED (SELECT k, v COLLATE \"C\" AS v, count(*) AS n"
                          " FROM (%1) AS p GROUP BY 1, 2)"
                          " SELECT 3, k, NULL, count(*) FILTER (WHERE n = 1) FROM g GROUP BY k"
                          " UNION ALL SELECT 4, k, NULL, count(*) FROM g GROUP BY k"
                          " UNION ALL (SELECT 2, k, %2, n FROM g ORDER BY n DESC, k, v LIMIT %3)")
        .arg(asciiPairs(ks), CutSql, QString::number(PreviewChangeLimit));
}

// OFFSET 0: the server matches each value with the repeated hashes once, rather than once for
// each row it takes apart.
QString PreviewSql::hashedAscii(const QList<qsizetype> &ks, const QList<OnceWanted> &once) const
{
    QString onceBranches;
    for (const OnceWanted &field : once)
        onceBranches += QStringLiteral(" UNION ALL (SELECT 2, k, %1, 1 FROM s WHERE k = %2 AND h"
                                       " NOT IN (SELECT h FROM m WHERE k = %2) AND (SELECT"
                                       " count(*) FROM m WHERE k = %2) < %3 LIMIT %4)")
                            .arg(CutSql, QString::number(field.k), QString::number(field.hashes),
                                 QString::number(field.wanted));
    return QStringLiteral(
               "WITH s AS NOT MATERIALIZED (SELECT k, v, %1 AS h FROM (%2) AS p),"
               " m AS MATERIALIZED (SELECT k, h FROM s GROUP BY k, h HAVING count(*) > 1),"
               " g AS MATERIALIZED (SELECT k, v COLLATE \"C\" AS v, count(*) AS n FROM"
               " (SELECT * FROM s OFFSET 0) AS s WHERE (k, h) IN (SELECT k, h FROM m)"
               " GROUP BY 1, 2)"
               " SELECT 0, k, NULL, count(*) FROM m GROUP BY k"
               " UNION ALL SELECT 1, k, NULL, count(*) FROM g GROUP BY k"
               " UNION ALL (SELECT 2, k, %3, n FROM g ORDER BY n DESC, k, v LIMIT %4)%5")
        .arg(hash(QStringLiteral("v")), asciiPairs(ks), CutSql, QString::number(PreviewChangeLimit),
             onceBranches);
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
