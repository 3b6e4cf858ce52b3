#include "run/runsource.h"

#include "db/dbsession.h"
#include "run/runfailure.h"

#include <QVariant>

QList<QString> RunSource::plan(QList<PassField> &fields, QList<FieldKind> &leftAlone)
{
    QList<QString> oids;
    try {
        QSqlQuery encoding = session_.exec(QStringLiteral("SHOW server_encoding"));
        utf8_ = encoding.next() && encoding.value(0).toString() == QLatin1String("UTF8");
        plan_ = TablePlan::Of(session_, table_.sql());
        if (!plan_)
            throw RunFailure(QStringLiteral("The table %1 does not exist.").arg(table_.sql()),
                             ChangeRunStep::Source);
        QList<PassField> kept;
        for (PassField &field : fields) {
            if (classify(field, leftAlone))
                kept.push_back(field);
        }
        fields = kept;
        if (!conditionText_.isEmpty() && !fields.isEmpty())
            condition_ = RowCondition::Check(session_, table_, conditionText_);
        for (const StoredRelation &relation : plan_->storedRelations(session_))
            oids << relation.oid;
        keyed_ = plan_->keyedRelations(session_);
        untrustedOwners_ = plan_->untrustedOwners(session_);
    } catch (const DbError &error) {
        ThrowUnlessStopped(cancel_, error, ChangeRunStep::Source);
    } catch (const ConditionRefused &refused) {
        throw RunFailure(refused.text(), ChangeRunStep::Source);
    }
    return oids;
}

// Reads what the field holds and whether the run may write it; false for a field to leave
// alone, which the summary then names.
bool RunSource::classify(PassField &field, QList<FieldKind> &leftAlone)
{
    const std::optional<FieldKind> kind = plan_->field(field.name);
    if (!kind)
        throw RunFailure(
            QStringLiteral("The table %1 has no field %2.").arg(table_.sql(), field.sql),
            ChangeRunStep::Source);
    if (!kind->changeable()) {
        leftAlone << *kind;
        return false;
    }
    field.typeSql = kind->typeSql;
    field.plainText = kind->plainText;
    field.array = kind->array;
    // A field in the key of a partitioned table is written through the partitioned table, so
    // that a row can move to the partition its new value belongs in.
    field.partitionKey = plan_->inPartitionKey(session_, field.name);
    return true;
}

QString RunSource::beginSnapshot()
{
    try {
        session_.execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        QSqlQuery snapshot = session_.exec(QStringLiteral("SELECT pg_export_snapshot()"));
        if (!snapshot.next())
            throw RunFailure(QStringLiteral("The server gave no snapshot."), ChangeRunStep::Source);
        return snapshot.value(0).toString();
    } catch (const DbError &error) {
        ThrowUnlessStopped(cancel_, error, ChangeRunStep::Source);
    }
}

void RunSource::endSnapshot()
{
    try {
        session_.execute(QStringLiteral("COMMIT"));
    } catch (const DbError &error) {
        ThrowUnlessStopped(cancel_, error, ChangeRunStep::Source);
    }
}

QList<StoredRelation> RunSource::measure(const QList<QString> &oids)
{
    // The tables walked are those of the plan; one that has gone since is left out, and one
    // that came since is not walked.
    QList<StoredRelation> relations;
    try {
        for (const StoredRelation &relation : plan_->storedRelations(session_)) {
            if (oids.contains(relation.oid))
                relations.push_back(relation);
        }
    } catch (const DbError &error) {
        ThrowUnlessStopped(cancel_, error, ChangeRunStep::Source);
    }
    return relations;
}
