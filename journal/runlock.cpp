#include "journal/runlock.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace {

const char *WorkWord(RunLock::Work work)
{
    return work == RunLock::Work::Run ? "run" : "undo";
}

} // namespace

RunLock::~RunLock()
{
    release();
}

RunLock::RunLock(RunLock &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RunLock &RunLock::operator=(RunLock &&other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void RunLock::release()
{
    // Closing the file lets the lock go.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

QString RunLock::FileOf(const QString &journalFile)
{
    return journalFile + QStringLiteral(".lock");
}

std::optional<RunLock> RunLock::Take(const QString &journalFile, Work work, bool *failed)
{
    if (failed)
        *failed = false;
    const QByteArray name = QFile::encodeName(FileOf(journalFile));
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    // A lock of its own open file: another lock of this process on the same file is refused as
    // well.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (failed)
            *failed = errno != EWOULDBLOCK;
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray says = QByteArray::number(qint64(::getpid())) + ' ' + WorkWord(work) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, says.constData(), size_t(says.size()), 0) < 0) {
        // The lock holds all the same; the others are told of no process.
    }
    return RunLock(fd);
}

std::optional<RunLock::Holder> RunLock::HolderOf(const QString &journalFile)
{
    const QByteArray name = QFile::encodeName(FileOf(journalFile));
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt; // no lock was ever taken, or its run's files are gone
    std::optional<Holder> holder;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else if (errno == EWOULDBLOCK) {
        char text[64] = {};
        const ssize_t read = ::pread(fd, text, sizeof text - 1, 0);
        const QList<QByteArray> words =
            QByteArray(text, read > 0 ? int(read) : 0).trimmed().split(' ');
        holder =
            Holder{words.value(0).toLongLong(), words.value(1) == "undo" ? Work::Undo : Work::Run};
    }
    ::close(fd);
    return holder;
}
