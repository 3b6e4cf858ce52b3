#include "cli/cliprogram.h"

#include "cli/changecommands.h"
#include "cli/commandcontext.h"
#include "cli/commandfailure.h"
#include "cli/connectionvalues.h"
#include "cli/journalcommands.h"
#include "cli/targetcheck.h"
#include "db/canconnect.h"
#include "db/catalogue.h"
#include "db/dberror.h"
#include "journal/journalerror.h"

#include <cstdio>

namespace {

using Command = CommandRequest::Command;

int CommandTables(const CommandContext &context)
{
    TargetCheck::Connection(context.values);
    const QList<TableRef> tables = ListTables(context.values);
    QJsonArray list;
    for (const TableRef &table : tables) {
        list.append(TableJson(table));
        context.out.line(table.displayName());
    }
    context.out.object(
        {{QStringLiteral("command"), QStringLiteral("tables")}, {QStringLiteral("tables"), list}},
        ExitCode::Done);
    return ToInt(ExitCode::Done);
}

int CommandFields(const CommandContext &context)
{
    TargetCheck::Connection(context.values);
    TargetCheck::Table(context.values, context.request.table);
    const QStringList fields = ListFields(context.values, context.request.table);
    for (const QString &field : fields)
        context.out.line(field);
    context.out.object({{QStringLiteral("command"), QStringLiteral("fields")},
                        {QStringLiteral("table"), TableJson(context.request.table)},
                        {QStringLiteral("fields"), QJsonArray::fromStringList(fields)}},
                       ExitCode::Done);
    return ToInt(ExitCode::Done);
}

int Dispatch(const CommandContext &context)
{
    switch (context.request.command) {
    case Command::Tables:
        return CommandTables(context);
    case Command::Fields:
        return CommandFields(context);
    case Command::Preview:
        return CommandPreview(context);
    case Command::Change:
        return CommandChange(context);
    case Command::Undo:
        return CommandUndo(context);
    case Command::Runs:
        return CommandRuns(context);
    case Command::Help:
    case Command::Version:
        break;
    }
    return ToInt(ExitCode::Usage);
}

} // namespace

int CliProgram::Run(const QStringList &arguments)
{
    return Output::Checked(RunCommand(arguments));
}

int CliProgram::RunCommand(const QStringList &arguments)
{
    QString error;
    const CommandRequest request = CommandLine::Parse(arguments, error);
    if (!error.isEmpty()) {
        // A script that asked for JSON gets its one object even when the rest was not read.
        const int code =
            Output(arguments.contains(QStringLiteral("--json"))).fail(ExitCode::Usage, error);
        std::fputs("Try 'recasor --help'.\n", stderr);
        return code;
    }
    if (request.command == Command::Help || request.command == Command::Version) {
        const QString text =
            request.command == Command::Help ? CommandLine::HelpText() : CommandLine::VersionText();
        Output::Print(text);
        return ToInt(ExitCode::Done);
    }
    const Output out(request.json);
    try {
        // The journal's runs need no server, and no password asked for.
        const ConnectionSettings values =
            request.command == Command::Runs
                ? ConnectionSettings()
                : ConnectionValues::Of(request, [&out](const QString &line) { out.note(line); });
        return Dispatch({request, values, out});
    } catch (const CommandFailure &failure) {
        return out.fail(failure.code(), failure.message());
    } catch (const DbError &failure) {
        return out.fail(ExitCode::Failed, ConnectFailureReason(failure.text()));
    } catch (const JournalError &failure) {
        return out.fail(ExitCode::Failed, failure.text());
    }
}
