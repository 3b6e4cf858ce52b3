#include "journal/changejournal.h"

#include "db/dbsession.h"
#include "journal/journalfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QVariant>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The journal's layout. Version 2 added the database's identity; files of version 1 are read as
// runs without it. Version 3 added the fields after the first of a chunk that wrote several;
// older files have chunks of one field. A file of a later version is not read.
constexpr int FormatVersion = 3;
constexpr int OldestVersion = 1;

const QString FilePrefix = QStringLiteral("run-");
const QString FileSuffix = QStringLiteral(".sqlite");

// The id in a run file's name; 0 when the name is not one.
qint64 idOf(const QString &file)
{
    const QString name = QFileInfo(file).fileName();
    if (!name.startsWith(FilePrefix) || !name.endsWith(FileSuffix))
        return 0;
    const qint64 id =
        name.mid(FilePrefix.size(), name.size() - FilePrefix.size() - FileSuffix.size())
            .toLongLong();
    return qMax<qint64>(id, 0);
}

// The run files of the folder by id, oldest first.
std::map<qint64, QString> runFiles(const QString &folder)
{
    std::map<qint64, QString> files;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({FilePrefix + u'*' + FileSuffix}, QDir::Files | QDir::Hidden)) {
        if (const qint64 id = idOf(name))
            files.emplace(id, dir.filePath(name));
    }
    return files;
}

void removeRunFile(const QString &path)
{
    // SQLite's side files go with it.
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QFile::remove(path + suffix);
}

JournalError writeFailure(const QString &reason)
{
    return JournalError(JournalError::Action::Writing, reason);
}

std::error_code lastError()
{
    return std::error_code(errno, std::generic_category());
}

// The folder, made with mode 0700 when it is missing. A folder that is there keeps the mode its
// user gave it; one that cannot be written refuses the run here, before anything is written.
void makeFolder(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    const std::filesystem::path path = name.toStdString();
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (!error) {
        if (::mkdir(name.constData(), 0700) == 0) {
            // Made here: what the umask took from the owner is given back.
            if (::chmod(name.constData(), 0700) != 0)
                error = lastError();
        } else if (errno != EEXIST) {
            error = lastError();
        }
    }
    if (!error && !std::filesystem::is_directory(path, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error && ::access(name.constData(), W_OK | X_OK) != 0)
        error = lastError();
    if (error)
        throw writeFailure(folder + QStringLiteral(": ") + QString::fromStdString(error.message()));
}

// Makes a new, empty file with mode 0600 under the first free id from `id` on, so that the
// data SQLite puts into it (and into its side files, which take the file's mode) is never
// readable by others. Returns its path.
QString makeRunFile(const QString &folder, qint64 &id)
{
    for (;; ++id) {
        const QString path = QDir(folder).filePath(FilePrefix + QString::number(id) + FileSuffix);
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            throw writeFailure(path + QStringLiteral(": ") +
                               QString::fromLocal8Bit(std::strerror(errno)));
        const bool modeSet = ::fchmod(fd, 0600) == 0;
        const int modeErrno = errno;
        ::close(fd);
        if (!modeSet) {
            QFile::remove(path);
            throw writeFailure(path + QStringLiteral(": ") +
                               QString::fromLocal8Bit(std::strerror(modeErrno)));
        }
        // The file's name is on the disk too, as SQLite sees to for the files it makes itself.
        const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return path;
    }
}

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
        " table_name TEXT, fields TEXT, mode TEXT, exception_words TEXT, started TEXT,"
        " identity TEXT, rows_read INTEGER DEFAULT 0, values_changed INTEGER DEFAULT 0,"
        " rows_written INTEGER DEFAULT 0, values_not_written INTEGER DEFAULT 0,"
        " ended INTEGER DEFAULT 0, ended_whole INTEGER DEFAULT 0, undone INTEGER DEFAULT 0,"
        " undone_from INTEGER)"));
    // One row per chunk that the run wrote, oldest first: its first field, the physical
    // relation written, and the rows' identities, old and new values as three texts joined by
    // the delimiter; the old and new values of its other fields beside it, in their order.
    file.exec(
        QStringLiteral("CREATE TABLE change (seq INTEGER PRIMARY KEY, field TEXT NOT NULL,"
                       " relation TEXT NOT NULL, rows INTEGER NOT NULL, delimiter TEXT NOT NULL,"
                       " identities BLOB NOT NULL, olds BLOB NOT NULL, news BLOB NOT NULL)"));
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
    const QString identityColumns =
        file.hasColumn(QStringLiteral("run"), QStringLiteral("database_oid"))
            ? QStringLiteral("system_identifier, database_oid")
            : QStringLiteral("NULL, NULL");
    // The first undo of a run adds the table of the chunks it undid (JournalReader).
    const QString restoredColumn =
        file.hasColumn(QStringLiteral("undone_chunk"), QStringLiteral("restored"))
            ? QStringLiteral("(SELECT coalesce(sum(restored), 0) FROM undone_chunk)")
            : QStringLiteral("0");
    QSqlQuery query = file.exec(
        QStringLiteral("SELECT server, port, database, table_schema, table_name, fields, mode,"
                       " exception_words, started, identity, rows_read, values_changed,"
                       " rows_written, values_not_written, ended_whole, undone, %1, %2 FROM run")
            .arg(identityColumns, restoredColumn));
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
    const std::optional<CaseMode> mode = CaseModeFromText(query.value(6).toString());
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
    query = file.exec(QStringLiteral("SELECT coalesce(sum(rows), 0) FROM change"));
    run.rowsRecorded = query.next() ? query.value(0).toLongLong() : 0;
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

std::optional<JournalRun> lastOf(const ConnectionSettings &settings,
                                 const std::function<const DatabaseIdentity &()> &current)
{
    const std::map<qint64, QString> files = runFiles(ChangeJournal::Folder());
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        std::optional<JournalRun> run;
        try {
            JournalFile file(it->second, JournalError::Action::Reading, JournalFile::Sync::Normal);
            run = readRun(file, it->second, it->first);
        } catch (const JournalError &) {
            continue;
        }
        // A run that found nothing to change has nothing to take back.
        if (!run->undone && run->rowsRecorded > 0 && isOfDatabase(*run, settings, current))
            return run;
    }
    return std::nullopt;
}

} // namespace

QString ChangeJournal::Folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Recasor");
}

JournalRun ChangeJournal::Begin(JournalRun run)
{
    const QString folder = Folder();
    makeFolder(folder);
    const std::map<qint64, QString> before = runFiles(folder);
    qint64 id = QDateTime::currentMSecsSinceEpoch();
    if (!before.empty())
        id = qMax(id, before.rbegin()->first + 1);
    run.file = makeRunFile(folder, id);
    run.id = id;
    if (!run.started.isValid())
        run.started = QDateTime::currentDateTimeUtc();
    run.rowsRead = run.valuesChanged = run.rowsWritten = run.valuesNotWritten = 0;
    run.endedWhole = run.undone = false;
    try {
        JournalFile file(run.file, JournalError::Action::Writing);
        createSchema(file);
        const DatabaseIdentity &database = run.databaseIdentity;
        file.exec(QStringLiteral("INSERT INTO run (server, port, database, system_identifier,"
                                 " database_oid, table_schema, table_name, fields, mode,"
                                 " exception_words, started, identity)"
                                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  {run.server, run.port, run.database,
                   database.systemIdentifier.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                                       : QVariant(database.systemIdentifier),
                   database.known() ? QVariant(qint64(database.databaseOid))
                                    : QVariant(QMetaType(QMetaType::LongLong)),
                   run.table.schema, run.table.name, jsonList(run.fields), CaseModeText(run.mode),
                   jsonList(run.exceptionWords), run.started.toUTC().toString(Qt::ISODateWithMs),
                   run.identity.toText()});
        file.commit();
    } catch (...) {
        removeRunFile(run.file);
        throw;
    }

    // Only now that the new run is on record do the oldest go.
    std::map<qint64, QString> files = runFiles(folder);
    while (files.size() > std::size_t(KeptRuns)) {
        removeRunFile(files.begin()->second);
        files.erase(files.begin());
    }
    return run;
}

void ChangeJournal::End(const JournalRun &run)
{
    JournalFile file(run.file, JournalError::Action::Writing);
    file.exec(QStringLiteral("UPDATE run SET rows_read = ?, values_changed = ?, rows_written = ?,"
                             " values_not_written = ?, ended = 1, ended_whole = ?"),
              {run.rowsRead, run.valuesChanged, run.rowsWritten, run.valuesNotWritten,
               run.endedWhole ? 1 : 0});
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
    std::optional<DatabaseIdentity> current;
    return lastOf(settings, [&]() -> const DatabaseIdentity & {
        if (!current) {
            DbSession session(settings);
            current = DatabaseIdentity::Of(session);
        }
        return *current;
    });
}

void ChangeJournal::MarkUndone(const JournalRun &run)
{
    JournalFile file(run.file, JournalError::Action::Writing);
    file.exec(QStringLiteral("UPDATE run SET undone = 1"));
}

JournalRun ChangeJournal::Read(const QString &path)
{
    JournalFile file(path, JournalError::Action::Reading, JournalFile::Sync::Normal);
    return readRun(file, path, idOf(path));
}
