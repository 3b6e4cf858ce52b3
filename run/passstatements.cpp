#include "run/passstatements.h"

#include "casing/wordexceptions.h"
#include "db/changefilter.h"
#include "db/chunksizing.h"
#include "db/rowidentity.h"
#include "db/sqlquote.h"

// A chunk's values come as one array, which is far cheaper to fetch through the driver
// than one row per value (and the pairs go back as two joined texts for the same reason).
//
// The server counts the rows and leaves out the values that the rule certainly leaves as
// they are, so that a column already mostly in the right case costs little to read. It
// also stops at the chunk's byte budget, in the order of the rows' places, and says where
// it stopped: the sizes are known without reading the values (a long value stays out of
// line until it is used), so a range of long values never comes in one piece, and the
// client keeps at most one budget, or one value longer than that, per chunk in hand. The
// range's size comes back too, and the next chunk is sized by it to stay under the budget.
QString PassStatements::readSql(const PassField &field, const PassChunk &chunk) const
{
    const QString size = (field.array ? QStringLiteral("coalesce(pg_column_size(t.%1), 0)")
                                      : QStringLiteral("coalesce(octet_length(t.%1), 0)"))
                             .arg(field.sql);
    const QString range = ChunkWriter::RangeSql(chunk.first(), chunk.end());
    const QString filter =
        field.array ? QStringLiteral("true") : mayChangeSql(QStringLiteral("r.v"));
    // Where a derived table carries the field next to the statement's own columns, the
    // field goes under a name of the statement's own too: a field may be called "c" or
    // "before".
    const auto valueOf = [&field](const QString &column) {
        return field.plainText ? column : TextFormOf(column);
    };
    // Sizes cost a look at each row but no read of a long value. Only a range whose values
    // go past the budget is read in the order of the rows' places (a sort) up to it. OFFSET
    // 0 keeps the server from repeating the text form in every use of v.
    return QStringLiteral(
               "WITH z AS MATERIALIZED (SELECT coalesce(sum(%1), 0) AS total FROM ONLY %2 AS t"
               " WHERE %3)"
               " SELECT count(*), array_agg(r.v) FILTER (WHERE %4), NULL, false,"
               " (SELECT z.total FROM z) FROM"
               " (SELECT %5 AS v FROM ONLY %2 AS t WHERE %3 OFFSET 0) AS r"
               " HAVING (SELECT z.total FROM z) <= %6"
               " UNION ALL"
               " SELECT count(*), array_agg(r.v) FILTER (WHERE %4), max(r.c)::text, true,"
               " (SELECT z.total FROM z) FROM"
               " (SELECT s.c, %7 AS v FROM (SELECT t.ctid AS c, t.%8 AS f, sum(%1) OVER"
               " (ORDER BY t.ctid ROWS UNBOUNDED PRECEDING) - %1 AS before FROM ONLY %2 AS t"
               " WHERE %3) AS s WHERE s.before < %6 OFFSET 0) AS r"
               " HAVING (SELECT z.total FROM z) > %6")
        .arg(size, chunk.relation->sql, range, filter, valueOf(QStringLiteral("t.") + field.sql))
        .arg(ChunkSizing::RangeBudget)
        .arg(valueOf(QStringLiteral("s.f")), field.sql);
}

// A listed word may change a value that the rule leaves as it is ("Usa" to "USA"): with a
// list, every value goes to the rule.
QString PassStatements::mayChangeSql(const QString &value) const
{
    return words_.appliesTo(mode_) ? QStringLiteral("true") : MayChangeSql(mode_, utf8_, value);
}

// How the field's pairs are written. Text and varchar values are their own text form and
// every pair changes its value. Other types are matched in their text form, and the new
// value must differ from the stored one in that form too: a type may read the new text
// back as the old value, and writing it would only make a new row version and fire the
// update triggers. For text, the condition used for reading leaves most unchanged rows out
// before the join, so that the server looks up only rows that can match.
WriteTarget PassStatements::target(const PassField &field, const StoredRelation *relation) const
{
    WriteTarget target;
    target.field = field.sql;
    target.typeSql = field.typeSql;
    target.match = field.plainText
                       ? QStringLiteral("t.%1 = v.o COLLATE \"C\" AND %2")
                             .arg(field.sql, mayChangeSql(QStringLiteral("t.") + field.sql))
                       : QStringLiteral("format('%s', t.%1) = v.o COLLATE \"C\""
                                        " AND format('%s', CAST(v.n AS %2)) <> v.o COLLATE \"C\"")
                             .arg(field.sql, field.typeSql);
    target.fieldName = field.name;
    // Rows that may move to another partition are known by their key in the partitioned
    // table as a whole.
    target.relationSql =
        field.partitionKey && identity_ && !identity_->byPosition() ? table_.sql() : relation->sql;
    if (identity_)
        target.identity = identity_->sql(QStringLiteral("t"));
    if (field.partitionKey) {
        target.relation = table_.sql();
        target.filter = QStringLiteral("t.tableoid = %1").arg(relation->oid);
    } else {
        target.relation = QStringLiteral("ONLY ") + relation->sql;
    }
    return target;
}
