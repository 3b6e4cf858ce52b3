#include "journal/journalfolder.h"

#include "journal/journalerror.h"
#include "journal/runlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString FilePrefix = QStringLiteral("run-");
const QString FileSuffix = QStringLiteral(".sqlite");
// The ids of the runs whose files the limit removed, one a line, the newest last.
const QString RemovedList = QStringLiteral("removed-runs");
constexpr int RemovedListKept = 1000;

JournalError folderWriteFailure(const QString &reason)
{
    return JournalError(JournalError::Action::Writing, reason);
}

std::error_code lastError()
{
    return std::error_code(errno, std::generic_category());
}

QList<qint64> removedIds(const QString &folder)
{
    QFile list(QDir(folder).filePath(RemovedList));
    QList<qint64> ids;
    if (!list.open(QIODevice::ReadOnly))
        return ids;
    for (const QByteArray &line : list.readAll().split('\n')) {
        if (const qint64 id = line.trimmed().toLongLong(); id > 0)
            ids << id;
    }
    return ids;
}

void noteRemoved(const QString &folder, const QList<qint64> &removed)
{
    QList<qint64> ids = removedIds(folder) + removed;
    if (ids.size() > RemovedListKept)
        ids = ids.mid(ids.size() - RemovedListKept);
    QByteArray text;
    for (const qint64 id : ids)
        text += QByteArray::number(id) + '\n';
    QSaveFile list(QDir(folder).filePath(RemovedList));
    // Only a help for a later message: a list that cannot be written loses nothing else.
    if (list.open(QIODevice::WriteOnly)) {
        list.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        list.write(text);
        list.commit();
    }
}

} // namespace

namespace JournalFolder {

QString Path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Recasor");
}

qint64 IdOf(const QString &file)
{
    const QString name = QFileInfo(file).fileName();
    if (!name.startsWith(FilePrefix) || !name.endsWith(FileSuffix))
        return 0;
    const qint64 id =
        name.mid(FilePrefix.size(), name.size() - FilePrefix.size() - FileSuffix.size())
            .toLongLong();
    return qMax<qint64>(id, 0);
}

std::map<qint64, QString> RunFiles(const QString &folder)
{
    std::map<qint64, QString> files;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({FilePrefix + u'*' + FileSuffix}, QDir::Files | QDir::Hidden)) {
        if (const qint64 id = IdOf(name))
            files.emplace(id, dir.filePath(name));
    }
    return files;
}

void RemoveRunFile(const QString &path)
{
    // SQLite's side files go with it, and the lock's.
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QFile::remove(path + suffix);
    QFile::remove(RunLock::FileOf(path));
}

// The folder, made with mode 0700 when it is missing. A folder that is there keeps the mode its
// user gave it; one that cannot be written refuses the run here, before anything is written.
void Make(const QString &folder)
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
        throw folderWriteFailure(folder + QStringLiteral(": ") +
                                 QString::fromStdString(error.message()));
}

// Makes a new, empty file with mode 0600 under the first free id from `id` on, so that the
// data SQLite puts into it (and into its side files, which take the file's mode) is never
// readable by others. Returns its path.
QString MakeRunFile(const QString &folder, qint64 &id)
{
    for (;; ++id) {
        const QString path = QDir(folder).filePath(FilePrefix + QString::number(id) + FileSuffix);
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            throw folderWriteFailure(path + QStringLiteral(": ") +
                                     QString::fromLocal8Bit(std::strerror(errno)));
        const bool modeSet = ::fchmod(fd, 0600) == 0;
        const int modeErrno = errno;
        ::close(fd);
        if (!modeSet) {
            QFile::remove(path);
            throw folderWriteFailure(path + QStringLiteral(": ") +
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

void Limit(const QString &folder, int kept, const std::function<bool(const QString &)> &keep)
{
    std::map<qint64, QString> files = RunFiles(folder);
    QList<qint64> removed;
    for (auto it = files.begin();
         files.size() - std::size_t(removed.size()) > std::size_t(kept) && it != files.end();
         ++it) {
        if (keep(it->second))
            continue;
        // A run's journal that a run or an undo works on is never taken from under it.
        std::optional<RunLock> lock = RunLock::Take(it->second, RunLock::Work::Undo);
        if (!lock)
            continue;
        RemoveRunFile(it->second);
        removed << it->first;
    }
    if (!removed.isEmpty())
        noteRemoved(folder, removed);
}

bool RemovedByLimit(const QString &folder, qint64 id)
{
    return removedIds(folder).contains(id);
}

} // namespace JournalFolder
