// Who works on a run's journal now: the change run while it goes on, an undo while it goes on.
// The worker holds an advisory lock (flock) on a file of its own beside the journal file, which
// another process can test and which the system lets go when the worker's process ends, however
// it ends. The file says which process holds it and what it does, for the messages of the others.
// The journal file itself is left to SQLite's own locks.
#pragma once

#include <QString>
#include <optional>

class RunLock
{
public:
    enum class Work { Run, Undo };

    struct Holder {
        qint64 pid = 0; // 0 when the file does not say
        Work work = Work::Run;
    };

    RunLock() = default; // holds nothing
    ~RunLock();
    RunLock(RunLock &&other) noexcept;
    RunLock &operator=(RunLock &&other) noexcept;
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    // Takes the lock of the journal file for this work of this process; none when another
    // holds it (also another lock of this process). False in `failed` and none when the lock's
    // file cannot be made.
    static std::optional<RunLock> Take(const QString &journalFile, Work work,
                                       bool *failed = nullptr);

    // The process that holds the journal file's lock now, and its work; none when none does.
    static std::optional<Holder> HolderOf(const QString &journalFile);

    // The lock's file beside the journal file.
    static QString FileOf(const QString &journalFile);

    bool held() const { return fd_ >= 0; }
    // Lets the lock go before the end of its holder.
    void release();

private:
    explicit RunLock(int fd) : fd_(fd) {}

    int fd_ = -1;
};
