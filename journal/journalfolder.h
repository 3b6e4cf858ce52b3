// The folder of the journal of change runs and its files: one SQLite file per run, named by the
// run's id ("run-1796728524749.sqlite"), the lock file beside it while it was worked on, and a
// list of the runs whose files the limit of kept runs removed. The folder is made with mode 0700
// (one that is there keeps the mode its user gave it) and the files with 0600, since they hold
// data of the user's tables.
#pragma once

#include <QString>
#include <functional>
#include <map>

namespace JournalFolder {

// $XDG_DATA_HOME/Recasor (by default ~/.local/share/Recasor).
QString Path();

// The folder, made when it is missing; throws JournalError when it cannot be written.
void Make(const QString &folder);

// The run files of the folder by id, oldest first.
std::map<qint64, QString> RunFiles(const QString &folder);

// The id in a run file's name; 0 when the name is not one.
qint64 IdOf(const QString &file);

// Makes a new, empty file with mode 0600 under the first free id from `id` on, and returns its
// path. Throws JournalError.
QString MakeRunFile(const QString &folder, qint64 &id);

// Removes a run's file with SQLite's side files and its lock file.
void RemoveRunFile(const QString &path);

// Removes the files of the oldest runs until at most `kept` are left, passing over those that
// `keep` keeps, and notes each run removed. Keeps a run whose journal is being worked on.
void Limit(const QString &folder, int kept, const std::function<bool(const QString &)> &keep);

// Whether the limit removed the run of that id.
bool RemovedByLimit(const QString &folder, qint64 id);

} // namespace JournalFolder
