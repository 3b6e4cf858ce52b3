#include "cli/targetcheck.h"

#include "cli/commandfailure.h"
#include "db/canconnect.h"
#include "db/catalogue.h"
#include "db/dbsession.h"
#include "db/rowcondition.h"
#include "db/tableplan.h"

void TargetCheck::Connection(const ConnectionSettings &values)
{
    if (const std::optional<QString> reason = ConnectFailure(values))
        throw CommandFailure(ExitCode::Failed,
                             QStringLiteral("could not connect to the server: ") + *reason);
}

void TargetCheck::Table(const ConnectionSettings &values, const TableRef &table)
{
    // The table list leaves out the system's tables, which no run may rewrite; a name is taken
    // only when the list holds it. A view or another relation of that name is said to be one.
    if (ListTables(values).contains(table))
        return;
    if (const std::optional<QString> kind = RelationKind(values, table))
        throw CommandFailure(
            ExitCode::Usage,
            QStringLiteral("%1 is %2; Recasor changes tables").arg(table.displayName(), *kind));
    throw CommandFailure(ExitCode::Usage,
                         QStringLiteral("there is no table %1 in database %2; `recasor "
                                        "tables` lists them")
                             .arg(table.displayName(), values.database));
}

void TargetCheck::Fields(const ConnectionSettings &values, const TableRef &table,
                         const QStringList &fields)
{
    DbSession session(values);
    const std::optional<TablePlan> plan = TablePlan::Of(session, table.sql());
    if (!plan)
        throw CommandFailure(ExitCode::Usage,
                             QStringLiteral("there is no table %1").arg(table.displayName()));
    QList<FieldKind> leftAlone;
    for (const QString &name : fields) {
        const std::optional<FieldKind> field = plan->field(name);
        if (!field)
            throw CommandFailure(ExitCode::Usage,
                                 QStringLiteral("table %1 has no field \"%2\"; `recasor fields "
                                                "%3` lists them")
                                     .arg(table.displayName(), name, table.displayName()));
        if (!field->changeable())
            leftAlone << *field;
    }
    if (!leftAlone.isEmpty())
        throw CommandFailure(ExitCode::Usage,
                             QStringLiteral("a run leaves these fields alone, so nothing was "
                                            "done:\n") +
                                 LeftAloneText(leftAlone));
}

void TargetCheck::Condition(const ConnectionSettings &values, const TableRef &table,
                            const QString &condition)
{
    if (condition.isEmpty())
        return;
    DbSession session(values);
    try {
        RowCondition::Check(session, table, condition);
    } catch (const ConditionRefused &refused) {
        throw CommandFailure(ExitCode::Usage, refused.text());
    }
}
