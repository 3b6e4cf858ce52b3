// What every command works with: the request, the connection values it resolved to, and where
// its texts go.
#pragma once

#include "cli/commandline.h"
#include "cli/output.h"
#include "db/connectionsettings.h"

#include <QJsonArray>
#include <QJsonObject>

struct CommandContext {
    const CommandRequest &request;
    ConnectionSettings values;
    const Output &out;
};

// A table in a JSON result: as listed, and its two parts.
inline QJsonObject TableJson(const TableRef &table)
{
    return {{QStringLiteral("name"), table.displayName()},
            {QStringLiteral("schema"), table.schema},
            {QStringLiteral("table"), table.name}};
}
