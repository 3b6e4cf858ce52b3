// The checks a command makes before it starts a job, so that bad input ends it with a clear
// message and nothing written: the server answers the login, the table is one the table list
// holds, every field named is a field of it that a run may rewrite, and the server takes the
// row condition. Each throws CommandFailure.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"

#include <QStringList>

class TargetCheck
{
public:
    // Within the login time-out, with the server's reason when it refuses.
    static void Connection(const ConnectionSettings &values);
    static void Table(const ConnectionSettings &values, const TableRef &table);
    static void Fields(const ConnectionSettings &values, const TableRef &table,
                       const QStringList &fields);
    // The server's check of a row condition, when there is one: a refusal is bad input.
    static void Condition(const ConnectionSettings &values, const TableRef &table,
                          const QString &condition);
};
