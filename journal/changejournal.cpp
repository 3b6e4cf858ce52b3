#include "journal/changejournal.h"

#include "db/dbsession.h"
#include "journal/journalfile.h"
#include "journal/journalfolder.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>

#include <QThread>
#include <functional>
#include <map>

namespace {

// The journal's layout. Version 2 added the database's identity; files of version 1 are read as
// runs without it. Version 3 added the fields after the first of a chunk that wrote several;
// older files have chunks of one field. A file of a later version is not read.
constexpr int FormatVersion = 3;
constexpr int OldestVersion = 1;

QString jsonList(const QStringList &list)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact));
}

QStringList listFromJson(const QString &text)
{
    QStringList list;
    for (const QJsonValue &value : QJsonDocument::fromJson(text.toUtf8()).array())
        list << value.toString();
    return list;
}

JournalError writeFailure(const QString &reason)
{
    return JournalError(JournalError::Action::Writing, reason);
}

void createSchema(JournalFile &file)
{
    // The file's write-ahead log lets the run's writers append side by side, and a commit
    // needs one write to the disk.
    QSqlQuery mode = file.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    if (!mode.next() || mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive))
        throw writeFailure(QStringLiteral("SQLite could not use a write-ahead log"));
    mode = QSqlQuery();
    file.begin();
    file.exec(QStringLiteral("PRAGMA user_version = %1").arg(FormatVersion));
    file.exec(QStringLiteral(
        "CREATE TABLE run (server TEXT, port TEXT, database TEXT, system_identifier TEXT,"
        " database_oid INTEGER, table_schema TEXT,"
        " table_name TEXT, fields TEXT, mode TEXT, exception_words TEXT,"
        " name_rules INTEGER DEFAULT 0, started TEXT,"
        " identity TEXT, rows_read INTEGER DEFAULT 0, values_changed INTEGER DEFAULT 0,"
        " rows_written INTEGER DEFAULT 0, values_not_written INTEGER DEFAULT 0,"
        " rows_refused INTEGER DEFAULT 0, rows_left_changed INTEGER DEFAULT 0,"
        " leave_mixed_case INTEGER DEFAULT 0, kept_values TEXT,"
        " values_left_mixed INTEGER DEFAULT 0, values_kept INTEGER DEFAULT 0, row_condition TEXT,"
        " language TEXT,"
        " ended INTEGER DEFAULT 0, ended_whole INTEGER DEFAULT 0, undone INTEGER DEFAULT 0,"
        " undone_from INTEGER, stopped INTEGER DEFAULT 0, failure TEXT)"));
    // One row per chunk that the run wrote, oldest first: its first field, the physical
    // relation written, and the rows' identities, old and new values as three texts joined by
    // the delimiter; the old and new values of its other fields beside it, in their order. A
    // chunk is pending from its record until its commit on the server has returned.
    file.exec(
        QStringLiteral("CREATE TABLE change (seq INTEGER PRIMARY KEY, field TEXT NOT NULL,"
                       " relation TEXT NOT NULL, rows INTEGER NOT NULL, delimiter TEXT NOT NULL,"
                       " identities BLOB NOT NULL, olds BLOB NOT NULL, news BLOB NOT NULL,"
                       " pending INTEGER NOT NULL DEFAULT 0)"));
    file.exec(QStringLiteral("CREATE TABLE change_field (seq INTEGER NOT NULL,"
                             " position INTEGER NOT NULL, field TEXT NOT NULL, olds BLOB NOT NULL,"
                             " news BLOB NOT NULL, PRIMARY KEY (seq, position))"));
}

JournalRun readRun(JournalFile &file, const QString &path, qint64 id)
{
    const auto readFailure = [&](const QString &reason) {
        return JournalError(JournalError::Action::Reading, path + QStringLiteral(": ") + reason);
    };
    QSqlQuery version = file.exec(QStringLiteral("PRAGMA user_version"));
    if (!version.next() || version.value(0).toInt() < OldestVersion ||
        version.value(0).toInt() > FormatVersion)
        throw readFailure(QStringLiteral("not a journal of this version"));
    version = QSqlQuery();
    // What a column of a later layout reads as: itself where the file has it, else the value
    // that stood for it before.
    const auto column = [&file](const char *table, const char *name, const char *present,
                                const char *absent) {
        return QLatin1String(file.hasColumn(QLatin1String(table), QLatin1String(name)) ? present
                                                                                       : absent);
    };
    const QString identityColumns =
        column("run", "database_oid", "system_identifier, database_oid", "NULL, NULL");
    // The first undo of a run adds the table of the chunks it undid (JournalReader).
    const QString restoredColumn = column(
        "undone_chunk", "restored", "(SELECT coalesce(sum(restored), 0) FROM undone_chunk)", "0");
    // A file of before the name rules has no column for them: they were off. The column needs no
    // new version, as an undo does not depend on it.
    const QString nameRulesColumn = column("run", "name_rules", "name_rules", "0");
    // Files of before the counts of rows refused and left, and of before pending chunks.
    const QString rowCountColumns =
        column("run", "rows_refused", "rows_refused, rows_left_changed", "0, 0");
    // Files of before the options that leave values as written, the row condition and the
    // language's rules.
    const QString leftColumns =
        column("run", "leave_mixed_case",
               "leave_mixed_case, kept_values, values_left_mixed, values_kept", "0, NULL, 0, 0");
    const QString conditionColumn = column("run", "row_condition", "row_condition", "NULL");
    const QString languageColumn = column("run", "language", "language", "NULL");
    // Files of before the record of how an early end came: a stop, or what failed.
    const QString endColumns = column("run", "stopped", "stopped, failure", "0, NULL");
    const QString pending = column("change", "pending", "pending", "0");
    QSqlQuery query = file.exec(
        QStringLiteral("SELECT server, port, database, table_schema, table_name, fields, mode,"
                       " exception_words, started, identity, rows_read, values_changed,"
                       " rows_written, values_not_written, ended_whole, undone, %1, %2, %3,"
                       " ended, %4, %5, %6, %7, %8 FROM run")
            .arg(identityColumns, restoredColumn, nameRulesColumn, rowCountColumns, leftColumns,
                 conditionColumn, languageColumn, endColumns));
    if (!query.next())
        throw readFailure(QStringLiteral("the run's facts are missing"));
    JournalRun run;
    run.id = id;
    run.file = path;
    run.server = query.value(0).toString();
    run.port = query.value(1).toString();
    run.database = query.value(2).toString();
    run.table = {query.value(3).toString(), query.value(4).toString()};
    run.fields = listFromJson(query.value(5).toString());
    const std::optional<CaseMode> mode = CaseModeWithText(query.value(6).toString());
    if (!mode)
        throw readFailure(QStringLiteral("the run's mode is unknown"));
    run.mode = *mode;
    run.exceptionWords = listFromJson(query.value(7).toString());
    run.started = QDateTime::fromString(query.value(8).toString(), Qt::ISODateWithMs);
    if (!RowIdentity::FromText(query.value(9).toString(), run.identity))
        throw readFailure(QStringLiteral("the run's row identity is unknown"));
    run.rowsRead = query.value(10).toLongLong();
    run.valuesChanged = query.value(11).toLongLong();
    run.rowsWritten = query.value(12).toLongLong();
    run.valuesNotWritten = query.value(13).toLongLong();
    run.endedWhole = query.value(14).toBool();
    run.undone = query.value(15).toBool();
    run.databaseIdentity.systemIdentifier = query.value(16).toString();
    run.databaseIdentity.databaseOid = query.value(17).toUInt();
    run.rowsRestoredEarlier = query.value(18).toLongLong();
    run.nameRules = query.value(19).toBool();
    run.ended = query.value(20).toBool();
    run.rowsRefused = query.value(21).toLongLong();
    run.rowsLeftChanged = query.value(22).toLongLong();
    run.leaveMixedCase = query.value(23).toBool();
    run.keptValues = listFromJson(query.value(24).toString());
    run.valuesLeftMixed = query.value(25).toLongLong();
    run.valuesKept = query.value(26).toLongLong();
    run.condition = query.value(27).toString();
    run.language = query.value(28).toString();
    run.stopped = query.value(29).toBool();
    run.failure = query.value(30).toString();
    query = file.exec(QStringLiteral("SELECT coalesce(sum(CASE WHEN %1 = 0 THEN rows END), 0),"
                                     " coalesce(sum(CASE WHEN %1 <> 0 THEN rows END), 0)"
                                     " FROM change")
                          .arg(pending));
    if (query.next()) {
        run.rowsRecorded = query.value(0).toLongLong();
        run.rowsPending = query.value(1).toLongLong();
    }
    return run;
}

// A run recorded without the database's identity is known by its name alone.
bool isOfDatabase(const JournalRun &run, const ConnectionSettings &settings,
                  const std::function<const DatabaseIdentity &()> &current)
{
    return run.server == settings.server && run.port == settings.port &&
           run.database == settings.database &&
           (!run.databaseIdentity.known() || run.databaseIdentity == current());
}

// A journal file as it is now: its run, with who works on it, or why it cannot be read.
JournalEntry entryOf(qint64 id, const QString &path)
{
    JournalEntry entry{id, path, std::nullopt, QString()};
    try {
        JournalFile file(path, JournalError::Action::Reading, JournalFile::Sync::Normal);
        entry.run = readRun(file, path, id);
    } catch (const JournalError &error) {
        entry.damage = error.reason();
        if (entry.damage.startsWith(path + QStringLiteral(": ")))
            entry.damage = entry.damage.mid(path.size() + 2);
        return entry;
    }
    entry.run->holder = RunLock::HolderOf(path);
    return entry;
}

// The journal's files, newest first, until `take` says that it has what it wants.
void newestFirst(const std::function<bool(const JournalEntry &)> &take)
{
    const std::map<qint64, QString> files = JournalFolder::RunFiles(ChangeJournal::Folder());
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (take(entryOf(it->first, it->second)))
            return;
    }
}

std::optional<JournalRun> lastOf(const ConnectionSettings &settings,
                                 const std::function<const DatabaseIdentity &()> &current)
{
    // A run that found nothing to change has nothing to take back, unless it goes on still. A
    // file that cannot be read may hold the database's last run: the run before it is not
    // offered in its place.
    std::optional<JournalRun> last;
    newestFirst([&](const JournalEntry &entry) {
        if (!entry.run) {
            if (entry.beingMade())
                return false;
            throw UnreadableJournal(entry.file, entry.damage);
        }
        const JournalRun &run = *entry.run;
        if (run.undone || (run.rowsRecorded == 0 && run.rowsPending == 0 && !run.inProgress()) ||
            !isOfDatabase(run, settings, current))
            return false;
        last = run;
        return true;
    });
    return last;
}

// The identity of the database the settings name, read from the server once, when first asked.
std::function<const DatabaseIdentity &()> identityOf(const ConnectionSettings &settings)
{
    return [settings,
            current = std::optional<DatabaseIdentity>()]() mutable -> const DatabaseIdentity & {
        if (!current) {
            DbSession session(settings);
            current = DatabaseIdentity::Of(session);
        }
        return *current;
    };
}

} // namespace

QString ChangeJournal::Folder()
{
    return JournalFolder::Path();
}

JournalRun ChangeJournal::Begin(JournalRun run, RunLock &lock)
{
    const QString folder = Folder();
    JournalFolder::Make(folder);
    const std::map<qint64, QString> before = JournalFolder::RunFiles(folder);
    qint64 id = QDateTime::currentMSecsSinceEpoch();
    if (!before.empty())
        id = qMax(id, before.rbegin()->first + 1);
    run.file = JournalFolder::MakeRunFile(folder, id);
    run.id = id;
    // The file is new, and no one else takes its lock; another process may test it for a moment
    // as it lists the journal.
    for (int attempt = 0; attempt < 100 && !lock.held(); ++attempt) {
        bool failed = false;
        if (std::optional<RunLock> taken = RunLock::Take(run.file, RunLock::Work::Run, &failed))
            lock = std::move(*taken);
        else if (failed)
            break;
        else
            QThread::msleep(10);
    }
    if (!lock.held()) {
        JournalFolder::RemoveRunFile(run.file);
        throw writeFailure(RunLock::FileOf(run.file) +
                           QStringLiteral(": the lock cannot be taken"));
    }
    if (!run.started.isValid())
        run.started = QDateTime::currentDateTimeUtc();
    run.rowsRead = run.valuesChanged = run.rowsWritten = run.valuesNotWritten = 0;
    run.rowsRefused = run.rowsLeftChanged = 0;
    run.ended = run.endedWhole = run.undone = run.stopped = false;
    run.failure.clear();
    try {
        JournalFile file(run.file, JournalError::Action::Writing);
        createSchema(file);
        const DatabaseIdentity &database = run.databaseIdentity;
        file.exec(QStringLiteral("INSERT INTO run (server, port, database, system_identifier,"
                                 " database_oid, table_schema, table_name, fields, mode,"
                                 " exception_words, name_rules, started, identity,"
                                 " leave_mixed_case, kept_values, row_condition, language)"
                                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  {run.server, run.port, run.database,
                   database.systemIdentifier.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                                       : QVariant(database.systemIdentifier),
                   database.known() ? QVariant(qint64(database.databaseOid))
                                    : QVariant(QMetaType(QMetaType::LongLong)),
                   run.table.schema, run.table.name, jsonList(run.fields), CaseModeText(run.mode),
                   jsonList(run.exceptionWords), run.nameRules ? 1 : 0,
                   run.started.toUTC().toString(Qt::ISODateWithMs), run.identity.toText(),
                   run.leaveMixedCase ? 1 : 0, jsonList(run.keptValues), run.condition,
                   run.language});
        file.commit();
    } catch (...) {
        lock.release();
        JournalFolder::RemoveRunFile(run.file);
        throw;
    }
    run.holder = RunLock::Holder{QCoreApplication::applicationPid(), RunLock::Work::Run};

    // Only now that the new run is on record do the oldest go: never a run that has not ended
    // (it goes on, or its process died and its undo is still to come) unless it was undone.
    JournalFolder::Limit(folder, KeptRuns, [](const QString &path) {
        try {
            JournalFile file(path, JournalError::Action::Reading, JournalFile::Sync::Normal);
            QSqlQuery facts = file.exec(QStringLiteral("SELECT ended, undone FROM run"));
            return facts.next() && !facts.value(0).toBool() && !facts.value(1).toBool();
        } catch (const JournalError &) {
            return false; // a file that cannot be read is no run's
        }
    });
    return run;
}

void ChangeJournal::End(const JournalRun &run)
{
    JournalFile file(run.file, JournalError::Action::Writing);
    file.exec(QStringLiteral("UPDATE run SET rows_read = ?, values_changed = ?, rows_written = ?,"
                             " values_not_written = ?, rows_refused = ?, rows_left_changed = ?,"
                             " values_left_mixed = ?, values_kept = ?, ended = 1, ended_whole = ?,"
                             " stopped = ?, failure = ?"),
              {run.rowsRead, run.valuesChanged, run.rowsWritten, run.valuesNotWritten,
               run.rowsRefused, run.rowsLeftChanged, run.valuesLeftMixed, run.valuesKept,
               run.endedWhole ? 1 : 0, run.stopped ? 1 : 0, run.failure});
}

std::optional<JournalRun> ChangeJournal::Last(const ConnectionSettings &settings,
                                              const DatabaseIdentity &current)
{
    return lastOf(settings, [&current]() -> const DatabaseIdentity & { return current; });
}

std::optional<JournalRun> ChangeJournal::Last(const ConnectionSettings &settings)
{
    // The server is asked only when a run of the database's name is on record, so that the
    // answer that there is none needs no connection.
    return lastOf(settings, identityOf(settings));
}

QList<JournalEntry> ChangeJournal::Entries()
{
    QList<JournalEntry> entries;
    newestFirst([&entries](const JournalEntry &entry) {
        entries << entry;
        return false;
    });
    return entries;
}

QList<JournalRun> ChangeJournal::Runs()
{
    QList<JournalRun> runs;
    for (const JournalEntry &entry : Entries()) {
        if (entry.run)
            runs << *entry.run;
    }
    return runs;
}

std::optional<JournalRun> ChangeJournal::Run(qint64 id, const ConnectionSettings &settings)
{
    const std::map<qint64, QString> files = JournalFolder::RunFiles(Folder());
    const auto file = files.find(id);
    if (file == files.end())
        return std::nullopt;
    const JournalEntry entry = entryOf(file->first, file->second);
    if (!entry.run)
        throw UnreadableJournal(entry.file, entry.damage);
    if (!isOfDatabase(*entry.run, settings, identityOf(settings)))
        return std::nullopt;
    return entry.run;
}

bool ChangeJournal::RemovedByLimit(qint64 id)
{
    return JournalFolder::RemovedByLimit(Folder(), id);
}

void ChangeJournal::MarkUndone(const JournalRun &run)
{
    JournalFile file(run.file, JournalError::Action::Writing);
    file.exec(QStringLiteral("UPDATE run SET undone = 1"));
}

JournalRun ChangeJournal::Read(const QString &path)
{
    JournalFile file(path, JournalError::Action::Reading, JournalFile::Sync::Normal);
    return readRun(file, path, JournalFolder::IdOf(path));
}
