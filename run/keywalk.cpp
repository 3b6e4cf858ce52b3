#include "run/keywalk.h"

#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QSqlRecord>
#include <QVariant>

namespace {

QString Column(const QString &alias, const RowIdentity::Column &column)
{
    const QString name = QuoteIdentifier(column.name);
    return alias.isEmpty() ? name : alias + u'.' + name;
}

QString Value(const QString &text, const RowIdentity::Column &column)
{
    return QStringLiteral("CAST(%1 AS %2)").arg(QuoteLiteral(text), column.typeSql);
}

// The key of the row compared with a key in key order, by op (">" or "<"), or equal as well:
// written out column by column, since a wrapper sends conditions on single columns to the
// remote server, but not a comparison of rows.
QString CompareSql(const QString &alias, const QList<RowIdentity::Column> &key,
                   const QStringList &values, const QString &op, bool orEqual)
{
    QString sql;
    for (qsizetype i = key.size() - 1; i >= 0; --i) {
        const QString column = Column(alias, key[i]);
        const QString value = Value(values[i], key[i]);
        const bool last = i == key.size() - 1;
        const QString beyond =
            QStringLiteral("%1 %2%3 %4")
                .arg(column, op, last && orEqual ? QStringLiteral("=") : QString(), value);
        sql = last ? beyond
                   : QStringLiteral("(%1 OR (%2 = %3 AND %4))").arg(beyond, column, value, sql);
    }
    return sql;
}

} // namespace

QString KeyChunk::conditionSql(const QString &alias) const
{
    const QList<RowIdentity::Column> &key = relation->key;
    QStringList conditions;
    if (nulls) {
        for (const RowIdentity::Column &column : key)
            conditions << Column(alias, column) + QStringLiteral(" IS NULL");
        return u'(' + conditions.join(QStringLiteral(" OR ")) + u')';
    }
    if (relation->keyMayBeNull) {
        for (const RowIdentity::Column &column : key)
            conditions << Column(alias, column) + QStringLiteral(" IS NOT NULL");
    }
    if (!after.isEmpty())
        conditions << CompareSql(alias, key, after, QStringLiteral(">"), false);
    if (!through.isEmpty())
        conditions << CompareSql(alias, key, through, QStringLiteral("<"), true);
    if (conditions.isEmpty())
        return QStringLiteral("true");
    return conditions.join(QStringLiteral(" AND "));
}

std::optional<KeyChunk> KeyWalk::next(DbSession &session, qint64 rows)
{
    while (index_ < relations_.size()) {
        const KeyedRelation &relation = relations_[index_];
        if (relation.key.isEmpty() || (rangesDone_ && !relation.keyMayBeNull)) {
            ++index_;
            after_.clear();
            rangesDone_ = false;
            continue;
        }
        if (rangesDone_) {
            ++index_;
            after_.clear();
            rangesDone_ = false;
            return KeyChunk{&relation, {}, {}, true};
        }
        KeyChunk chunk{&relation, after_, {}, false};
        if (std::optional<std::pair<QStringList, bool>> bound =
                boundAfter(session, relation, rows)) {
            chunk.through = bound->first;
            chunk.sharedEnd = bound->second;
            after_ = bound->first;
        } else {
            rangesDone_ = true;
        }
        return chunk;
    }
    return std::nullopt;
}

std::optional<std::pair<QStringList, bool>>
KeyWalk::boundAfter(DbSession &session, const KeyedRelation &relation, qint64 rows) const
{
    QStringList forms, order;
    for (const RowIdentity::Column &column : relation.key) {
        forms << TextFormOf(QuoteIdentifier(column.name));
        order << QuoteIdentifier(column.name);
    }
    // Only the key crosses: the remote server finds the row by the key's index, and the wrapper
    // sends the order, the offset and the limit along.
    const KeyChunk rest{&relation, after_, {}, false};
    QSqlQuery bound =
        session.exec(QStringLiteral("SELECT %1 FROM ONLY %2 WHERE %3 ORDER BY %4 OFFSET %5 LIMIT 2")
                         .arg(forms.join(QStringLiteral(", ")), relation.sql,
                              rest.conditionSql(QString()), order.join(QStringLiteral(", ")))
                         .arg(qMax<qint64>(1, rows) - 1));
    const auto key = [&] {
        QStringList forms;
        for (int i = 0; i < relation.key.size(); ++i)
            forms << bound.value(i).toString();
        return forms;
    };
    if (!bound.next())
        return std::nullopt;
    const QStringList through = key();
    return std::pair{through, bound.next() && key() == through};
}
