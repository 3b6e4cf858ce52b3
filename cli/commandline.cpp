#include "cli/commandline.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSet>

#ifndef RECASOR_VERSION
#define RECASOR_VERSION "unknown"
#endif

namespace {

using Command = CommandRequest::Command;

// "upper, lower, proper or sentence"
QString ModeWords()
{
    QStringList words = CaseModeWords();
    const QString last = words.takeLast();
    return words.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

struct CommandForm {
    const char *name;
    Command command;
    bool table;          // takes a TABLE argument
    QStringList options; // the options it takes besides --json
};

const QStringList Connection = {QStringLiteral("host"), QStringLiteral("port"),
                                QStringLiteral("user"), QStringLiteral("database")};
// What a change and its preview take.
const QStringList ChangeOptions = {QStringLiteral("field"),
                                   QStringLiteral("mode"),
                                   QStringLiteral("leave-mixed-case"),
                                   QStringLiteral("keep-value"),
                                   QStringLiteral("keep-values-from"),
                                   QStringLiteral("where"),
                                   QStringLiteral("language")};

const QList<CommandForm> &Forms()
{
    static const QList<CommandForm> forms = {
        {"tables", Command::Tables, false, Connection},
        {"fields", Command::Fields, true, Connection},
        {"preview", Command::Preview, true, Connection + ChangeOptions + QStringList{"limit"}},
        {"change", Command::Change, true, Connection + ChangeOptions},
        {"undo", Command::Undo, false, Connection + QStringList{"run"}},
        {"runs", Command::Runs, false, Connection + QStringList{"export"}},
    };
    return forms;
}

// The options that ask for a change: their fields, mode and limit. False with the error set.
bool ReadChangeOptions(const QCommandLineParser &parser, CommandRequest &request, QString &error)
{
    // A field given twice is changed once.
    request.fields = parser.values(QStringLiteral("field"));
    request.fields.removeDuplicates();
    if (request.fields.isEmpty()) {
        error = QStringLiteral("give at least one --field");
        return false;
    }
    if (!parser.isSet(QStringLiteral("mode"))) {
        error = QStringLiteral("give --mode ") + ModeWords();
        return false;
    }
    // Only the modes' words: a script that misspells the mode must not get another one.
    request.mode = CaseModeWithWord(parser.value(QStringLiteral("mode")).toLower());
    if (!request.mode) {
        error = QStringLiteral("unknown mode \"%1\": give %2")
                    .arg(parser.value(QStringLiteral("mode")), ModeWords());
        return false;
    }
    request.leaveMixedCase = parser.isSet(QStringLiteral("leave-mixed-case"));
    request.keptValues = parser.values(QStringLiteral("keep-value"));
    for (const QString &path : parser.values(QStringLiteral("keep-values-from"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("--keep-values-from: %1: %2").arg(path, file.errorString());
            return false;
        }
        // One value a line; a line break at the end of the file ends its last value.
        for (QString line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            if (!line.isEmpty())
                request.keptValues << line;
        }
    }
    if (parser.isSet(QStringLiteral("language"))) {
        const QString code = parser.value(QStringLiteral("language"));
        request.language = CaseLanguageWithCode(code == QLatin1String("any") ? QString() : code);
        if (!request.language) {
            QStringList codes{QStringLiteral("any")};
            for (const CaseLanguageRow &row : CaseLanguages())
                if (!row.code.isEmpty())
                    codes << row.code;
            error = QStringLiteral("unknown language \"%1\": give %2")
                        .arg(code, codes.join(QStringLiteral(", ")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("where"))) {
        request.condition = parser.value(QStringLiteral("where"));
        if (request.condition.trimmed().isEmpty()) {
            error = QStringLiteral("--where takes a condition on the table's rows");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("limit"))) {
        bool ok = false;
        request.limit = parser.value(QStringLiteral("limit")).toInt(&ok);
        if (!ok || request.limit < 0) {
            error = QStringLiteral("--limit takes a number of changes, 0 or more");
            return false;
        }
    }
    return true;
}

// The connection options given. False with the error set: a port is a number of 1 to 65535.
bool ReadConnectionOptions(const QCommandLineParser &parser, CommandRequest &request,
                           QString &error)
{
    const auto given = [&](const char *name) -> std::optional<QString> {
        if (!parser.isSet(QLatin1String(name)))
            return std::nullopt;
        return parser.value(QLatin1String(name));
    };
    request.host = given("host");
    request.port = given("port");
    request.user = given("user");
    request.database = given("database");
    if (request.port) {
        bool ok = false;
        const int port = request.port->toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            error = QStringLiteral("--port takes a port number, 1 to 65535, not \"%1\"")
                        .arg(*request.port);
            return false;
        }
    }
    return true;
}

// The command's TABLE and the options of its own. False with the error set.
bool ReadArguments(const CommandForm &form, const QStringList &words,
                   const QCommandLineParser &parser, CommandRequest &request, QString &error)
{
    // runs --export ID FILE takes the file's name after the command.
    const bool exporting = parser.isSet(QStringLiteral("export"));
    const int wanted = form.table || exporting ? 2 : 1;
    if (exporting && words.size() != wanted) {
        error = QStringLiteral("--export takes the id of a run and a FILE to write");
        return false;
    }
    if (words.size() != wanted) {
        error = form.table ? QStringLiteral("%1 takes one TABLE").arg(words[0])
                           : QStringLiteral("%1 takes no other argument").arg(words[0]);
        return false;
    }
    if (form.table) {
        const std::optional<TableRef> table = CommandLine::ParseTableName(words[1]);
        if (!table) {
            error = QStringLiteral("\"%1\" is not a table name: give name, schema.name, or "
                                   "\"a part\" in double quotes")
                        .arg(words[1]);
            return false;
        }
        request.table = *table;
    }
    if (form.options.contains(QLatin1String("mode")) && !ReadChangeOptions(parser, request, error))
        return false;
    if (exporting) {
        bool ok = false;
        request.exportRun = parser.value(QStringLiteral("export")).toLongLong(&ok);
        if (!ok || *request.exportRun <= 0) {
            error = QStringLiteral("--export takes the id of a run, as `recasor runs` lists it");
            return false;
        }
        request.exportFile = words[1];
    }
    if (parser.isSet(QStringLiteral("run"))) {
        bool ok = false;
        request.run = parser.value(QStringLiteral("run")).toLongLong(&ok);
        if (!ok || *request.run <= 0) {
            error = QStringLiteral("--run takes the id of a run, as `recasor runs` lists it");
            return false;
        }
    }
    return true;
}

} // namespace

CommandRequest CommandLine::Parse(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const auto valued = [](const char *name, const char *value) {
        return QCommandLineOption(QLatin1String(name), QString(), QLatin1String(value));
    };
    parser.addOptions(
        {QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}),
         QCommandLineOption(QStringLiteral("version")), QCommandLineOption(QStringLiteral("json")),
         valued("host", "host"), valued("port", "port"), valued("user", "user"),
         valued("database", "database"), valued("field", "field"), valued("mode", "mode"),
         valued("limit", "n"), valued("run", "id"),
         QCommandLineOption(QStringLiteral("leave-mixed-case")), valued("keep-value", "text"),
         valued("keep-values-from", "file"), valued("where", "expression"),
         valued("language", "code"), valued("export", "id")});
    CommandRequest request;
    if (!parser.parse(QStringList{QStringLiteral("recasor")} + arguments)) {
        error = parser.errorText();
        return request;
    }
    if (parser.isSet(QStringLiteral("help")))
        return request;
    if (parser.isSet(QStringLiteral("version"))) {
        request.command = Command::Version;
        return request;
    }
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        error = QStringLiteral("no command given");
        return request;
    }
    const auto form = std::find_if(Forms().begin(), Forms().end(), [&](const CommandForm &f) {
        return words[0] == QLatin1String(f.name);
    });
    if (form == Forms().end()) {
        error = QStringLiteral("unknown command \"%1\"").arg(words[0]);
        return request;
    }
    request.command = form->command;
    request.json = parser.isSet(QStringLiteral("json"));
    for (const QString &option : parser.optionNames()) {
        if (option != QLatin1String("json") && !form->options.contains(option)) {
            error = QStringLiteral("%1 does not take --%2").arg(words[0], option);
            return request;
        }
    }
    if (ReadArguments(*form, words, parser, request, error))
        ReadConnectionOptions(parser, request, error);
    return request;
}

std::optional<TableRef> CommandLine::ParseTableName(const QString &text)
{
    QStringList parts;
    qsizetype i = 0;
    while (true) {
        QString part;
        if (i < text.size() && text[i] == u'"') {
            // A quoted part ends at the quote that is not doubled.
            for (++i;; ++i) {
                if (i >= text.size())
                    return std::nullopt;
                if (text[i] == u'"') {
                    if (i + 1 < text.size() && text[i + 1] == u'"') {
                        part += u'"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                part += text[i];
            }
        } else {
            while (i < text.size() && text[i] != u'.' && text[i] != u'"')
                part += text[i++];
        }
        if (part.isEmpty())
            return std::nullopt;
        parts << part;
        if (i == text.size())
            break;
        if (text[i] != u'.')
            return std::nullopt;
        ++i;
    }
    if (parts.size() == 1)
        return TableRef{QStringLiteral("public"), parts[0]};
    if (parts.size() == 2)
        return TableRef{parts[0], parts[1]};
    return std::nullopt;
}

QString CommandLine::HelpText()
{
    return QStringLiteral(
               "Usage: recasor                 (no arguments: the windows)\n"
               "       recasor COMMAND [OPTIONS]\n"
               "\n"
               "Rewrites the letter case of the text fields of a PostgreSQL table, with the same "
               "rules,\n"
               "word exceptions, journal and undo as the windows, and without a display.\n"
               "\n"
               "Commands:\n"
               "  tables                        the tables of the database\n"
               "  fields TABLE                  the fields of the table\n"
               "  preview TABLE --field F [--field F2 ...] --mode MODE [CHOICES] [--limit N]\n"
               "                                what change would do, writing nothing: the counts "
               "of\n"
               "                                each field, then the N most frequent changes (20)\n"
               "  change TABLE --field F [--field F2 ...] --mode MODE [CHOICES]\n"
               "                                converts the values of the fields, with its "
               "journal\n"
               "  undo [--run ID]               takes back the last run of this database, or that "
               "one\n"
               "  runs                          the runs of the journal, newest first; with\n"
               "                                connection options, those of that database\n"
               "  runs --export ID FILE         what run ID wrote, as CSV: the row's identity, "
               "the\n"
               "                                field, the old and the new value, a line each\n"
               "\n"
               "MODE is %1. TABLE is written as `recasor tables` lists\n"
               "it: name for a table of the schema public, schema.name for another, and a part "
               "that\n"
               "holds a dot or a double quote in double quotes, the quote doubled: "
               "'\"my.schema\".t'.\n"
               "\n"
               "CHOICES of which values change:\n"
               "  --where EXPR   only the rows where the SQL condition EXPR holds, checked by the\n"
               "                 server before anything is read: \"country = 'TR' AND id > 10\"\n"
               "  --leave-mixed-case\n"
               "                 values with both capitals and small letters stay as written\n"
               "                 (also when the stored option of the windows is on)\n"
               "  --language CODE\n"
               "                 the rules of the data's language: tr, az, el, nl, lt, de\n"
               "                 (ß -> SS), de-eszett (ß -> \u1e9e), or any (Unicode's own)\n"
               "  --keep-value TEXT, --keep-values-from FILE\n"
               "                 this value stays as written, in every row; the file holds one a "
               "line\n"
               "\n"
               "Options:\n"
               "  --host H, --port P, --user U, --database D\n"
               "                 instead of the values stored by the connection window\n"
               "  --json         the result as one JSON object on stdout\n"
               "  -h, --help     this text\n"
               "  --version      the version\n"
               "\n"
               "The password is never given on the command line: it is taken from PGPASSWORD, "
               "from\n"
               "~/.pgpass (PGPASSFILE; libpq's format, used only when no one else may read it), "
               "from\n"
               "the system keyring (only with a session bus; skipped after 5 s without an "
               "answer),\n"
               "from the stored values, or else asked for without echo when stdin is a "
               "terminal.\n"
               "Ctrl+C stops a run as Stop does in the window: every row is either old or "
               "converted,\n"
               "and `recasor undo` takes back what was written.\n"
               "\n"
               "Exit codes: 0 done; 1 failed, with nothing or part written (the message says "
               "which);\n"
               "2 usage error (also an unknown table or field, or a field that is not text);\n"
               "3 done, but some rows keep their old letter case: the server refused them, or\n"
               "another client changed them during the run.\n")
        .arg(ModeWords());
}

QString CommandLine::VersionText()
{
    return QStringLiteral("recasor " RECASOR_VERSION "\n");
}
