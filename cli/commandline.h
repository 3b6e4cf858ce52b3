// What a command line asks for: the command, its table, fields and mode, the connection values
// that override the stored ones, and how the result is printed. Parsing only; nothing here
// touches the server or the settings.
#pragma once

#include "casing/caselanguage.h"
#include "casing/caserules.h"
#include "db/tableref.h"

#include <QString>
#include <QStringList>
#include <optional>

struct CommandRequest {
    enum class Command { Help, Version, Tables, Fields, Preview, Change, Undo, Runs };

    Command command = Command::Help;
    TableRef table;
    QStringList fields;
    std::optional<CaseMode> mode;
    int limit = 20;                       // changes a preview lists
    bool leaveMixedCase = false;          // on, whatever is stored; else as stored
    std::optional<CaseLanguage> language; // given by --language; else as stored
    QStringList keptValues;               // values that stay as they are
    QString condition;                    // the rows a run or a preview takes; empty for every row
    std::optional<qint64> run;            // the run an undo takes back; the last one when none
    std::optional<qint64> exportRun;      // runs --export ID FILE: the run whose changes
    QString exportFile;                   // go to the CSV file
    bool json = false;
    // Given on the command line; the stored values stand for those not given.
    std::optional<QString> host, port, user, database;
};

class CommandLine
{
public:
    // The request of the arguments (without the program's name), or why they make none: then
    // `error` is set and the request is not to be used.
    static CommandRequest Parse(const QStringList &arguments, QString &error);

    // A table as `recasor tables` lists it: name (a table of "public") or schema.name, a part
    // in double quotes ("" for a quote in it) when it holds a dot or a quote. None for a text
    // that names no table that way.
    static std::optional<TableRef> ParseTableName(const QString &text);

    static QString HelpText();
    static QString VersionText();
};
