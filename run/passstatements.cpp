#include "run/passstatements.h"

#include "casing/wordexceptions.h"
#include "db/changefilter.h"
#include "db/chunksizing.h"
#include "db/rowidentity.h"
#include "db/sqlquote.h"

// A chunk's places and values come as one array each, which is far cheaper to fetch through
// the driver than one row per value (and the rows go back as joined texts for the same reason).
//
// The server counts the rows and leaves out the values that the rule certainly leaves as
// they are, and the rows in which it leaves every field so, so that a column already mostly in
// the right case costs little to read. It also stops at the chunk's byte budget, in the order
// of the rows' places, and says where it stopped: the sizes are known without reading the
// values (a long value stays out of line until it is used), so a range of long values never
// comes in one piece, and the client keeps at most one budget, or one row longer than that,
// per chunk in hand. The range's size comes back too, and the next chunk is sized by it to stay
// under the budget.
QString PassStatements::readSql(const QList<PassField> &fields, const PassChunk &chunk) const
{
    QStringList sizes, rawColumns, values, textForms;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        const PassField &field = fields[k];
        const QString v = QStringLiteral("v%1").arg(k);
        sizes << (field.array ? QStringLiteral("coalesce(pg_column_size(t.%1), 0)")
                              : QStringLiteral("coalesce(octet_length(t.%1), 0)"))
                     .arg(field.sql);
        // Where a derived table carries a field next to the statement's own columns, the field
        // goes under a name of the statement's own too: a field may be called "c" or "before".
        rawColumns << QStringLiteral("t.%1 AS f%2").arg(field.sql, QString::number(k));
        values << textForm(field, QStringLiteral("t.") + field.sql) + QStringLiteral(" AS ") + v;
        textForms << textForm(field, QStringLiteral("s.f%1").arg(k)) + QStringLiteral(" AS ") + v;
    }
    const QString size = sizes.join(QStringLiteral(" + "));
    // The condition is checked at each read of the range, and the sizes are those of the rows
    // it picks.
    const QString range =
        ChunkWriter::RangeSql(chunk.first(), chunk.end()) + QStringLiteral(" AND ") + condition_;
    // Each text goes into the statement by one arg(): a name may hold "%1" itself.
    const QString budget = QString::number(ChunkSizing::RangeBudget);
    // Sizes cost a look at each row but no read of a long value. Only a range whose values
    // go past the budget is read in the order of the rows' places (a sort) up to it.
    return QStringLiteral(
               "WITH z AS MATERIALIZED (SELECT coalesce(sum(%1), 0) AS total FROM ONLY %2 AS t"
               " WHERE %3)"
               " SELECT count(*), NULL, false, (SELECT z.total FROM z), %4 FROM %5"
               " HAVING (SELECT z.total FROM z) <= %6"
               " UNION ALL"
               " SELECT count(*), max(r.c)::text, true, (SELECT z.total FROM z), %4 FROM %7"
               " HAVING (SELECT z.total FROM z) > %6")
        // A run of one field writes its distinct values, matched by value: it needs no places.
        .arg(size, chunk.relation->sql, range, aggregates(fields, fields.size() > 1),
             keptFrom(fields,
                      QStringLiteral("SELECT t.ctid AS c, %1 FROM ONLY %2 AS t WHERE %3 OFFSET 0")
                          .arg(values.join(QStringLiteral(", ")), chunk.relation->sql, range)),
             budget,
             keptFrom(fields, QStringLiteral(
                                  "SELECT s.c, %1 FROM (SELECT t.ctid AS c, %2, sum(%3) OVER"
                                  " (ORDER BY t.ctid ROWS UNBOUNDED PRECEDING) - (%3) AS before"
                                  " FROM ONLY %4 AS t WHERE %5) AS s WHERE s.before < %6 OFFSET 0")
                                  .arg(textForms.join(QStringLiteral(", ")),
                                       rawColumns.join(QStringLiteral(", ")), size,
                                       chunk.relation->sql, range, budget)));
}

// A range of a key holds a bounded number of rows, and is read whole: the rows' keys stand for
// their places, and the wrapper sends the range's condition to the remote server.
QString PassStatements::keyReadSql(const QList<PassField> &fields, const KeyChunk &chunk) const
{
    QStringList values;
    for (qsizetype k = 0; k < fields.size(); ++k)
        values << textForm(fields[k], QStringLiteral("t.") + fields[k].sql) +
                      QStringLiteral(" AS v%1").arg(k);
    const RowIdentity key{chunk.relation->key};
    QStringList order;
    for (const RowIdentity::Column &column : chunk.relation->key)
        order << QStringLiteral("t.") + QuoteIdentifier(column.name);
    // In key order, which the wrapper asks of the remote server: the write finds each row's
    // values by its key's place among the chunk's keys, as the remote server orders them.
    return QStringLiteral("SELECT count(*), NULL, false, 0, %1 FROM %2")
        .arg(aggregates(fields, true),
             keptFrom(fields, QStringLiteral("SELECT %1 AS c, %2 FROM ONLY %3 AS t WHERE %4"
                                             " ORDER BY %5 OFFSET 0")
                                  .arg(key.sql(QStringLiteral("t")),
                                       values.join(QStringLiteral(", ")), chunk.relation->sql,
                                       chunk.conditionSql(QStringLiteral("t")) +
                                           QStringLiteral(" AND ") + condition_,
                                       order.join(QStringLiteral(", ")))));
}

QString PassStatements::textForm(const PassField &field, const QString &column)
{
    return field.plainText ? column : TextFormOf(column);
}

// The places of the rows of r in which a field may change, and each field's values there.
QString PassStatements::aggregates(const QList<PassField> &fields, bool places)
{
    QStringList anyKept, arrays;
    for (qsizetype k = 0; k < fields.size(); ++k)
        anyKept << QStringLiteral("r.v%1 IS NOT NULL").arg(k);
    const QString any = anyKept.join(QStringLiteral(" OR "));
    arrays << (places ? QStringLiteral("array_agg(r.c) FILTER (WHERE %1)").arg(any)
                      : QStringLiteral("NULL"));
    for (qsizetype k = 0; k < fields.size(); ++k)
        arrays << QStringLiteral("array_agg(r.v%1) FILTER (WHERE %2)").arg(k).arg(any);
    return arrays.join(QStringLiteral(", "));
}

// The values that may change, from rows q of columns c and v0, v1, ...; OFFSET 0 keeps the
// server from working each value out again in every use of it.
QString PassStatements::keptFrom(const QList<PassField> &fields, const QString &rows) const
{
    QStringList kept;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        const QString v = QStringLiteral("v%1").arg(k);
        kept << (fields[k].array ? QStringLiteral("q.") + v
                                 : QStringLiteral("CASE WHEN %1 THEN q.%2 END")
                                       .arg(mayChangeSql(QStringLiteral("q.") + v), v)) +
                    QStringLiteral(" AS ") + v;
    }
    return QStringLiteral("(SELECT q.c, %1 FROM (%2) AS q OFFSET 0) AS r")
        .arg(kept.join(QStringLiteral(", ")), rows);
}

// A listed word may change a value that the rule leaves as it is ("Usa" to "USA"): with a
// list, every value goes to the rule.
QString PassStatements::mayChangeSql(const QString &value) const
{
    return words_.appliesTo(mode_) ? QStringLiteral("true") : MayChangeSql(mode_, utf8_, value);
}

WriteTarget PassStatements::rowsTarget(const QList<PassField> &fields,
                                       const StoredRelation *relation) const
{
    QList<const PassField *> all;
    for (const PassField &field : fields)
        all << &field;
    return target(all, relation);
}

WriteTarget PassStatements::valuesTarget(const PassField &field,
                                         const StoredRelation *relation) const
{
    return target({&field}, relation);
}

// A foreign table's rows are written through this server by their key, which must be one
// column: the statement finds each row's values by its key's place among the chunk's keys.
WriteTarget PassStatements::keyTarget(const QList<PassField> &fields,
                                      const KeyedRelation &relation) const
{
    WriteTarget target;
    for (const PassField &field : fields)
        target.fields << TargetField{field.name, field.sql, field.typeSql, field.plainText};
    const RowIdentity key{relation.key};
    target.relation = QStringLiteral("ONLY ") + relation.sql;
    target.relationSql = relation.sql;
    if (identity_) {
        target.identity = key.sql(QStringLiteral("t"));
        target.identitySeparator = key.separator();
    }
    target.filter = condition_;
    target.keySql = QuoteIdentifier(relation.key.first().name);
    target.keyTypeSql = relation.key.first().typeSql;
    return target;
}

// Text and varchar values are their own text form; other types are matched in their text form.
// No row is left out before the match by a test of whether its value may change: the server
// looks a value up in the items for less than such a test costs.
WriteTarget PassStatements::target(const QList<const PassField *> &fields,
                                   const StoredRelation *relation) const
{
    WriteTarget target;
    bool partitionKey = false;
    for (const PassField *field : fields) {
        target.fields << TargetField{field->name, field->sql, field->typeSql, field->plainText};
        partitionKey = partitionKey || field->partitionKey;
    }
    // Rows that may move to another partition are known by their key in the partitioned
    // table as a whole.
    target.relationSql =
        partitionKey && identity_ && !identity_->byPosition() ? table_.sql() : relation->sql;
    if (identity_) {
        target.identity = identity_->sql(QStringLiteral("t"));
        target.identitySeparator = identity_->separator();
    }
    // The condition holds when the row is written, not only when it was read: a row that
    // another client changed so that it no longer meets it is not written.
    if (partitionKey) {
        target.relation = table_.sql();
        target.filter = QStringLiteral("t.tableoid = %1 AND ").arg(relation->oid) + condition_;
    } else {
        target.relation = QStringLiteral("ONLY ") + relation->sql;
        target.filter = condition_;
    }
    return target;
}
