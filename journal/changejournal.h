// The journal of change runs: what each run wrote, kept on this machine so that a finished run
// can be taken back, even after the program was closed.
//
// One SQLite file per run, in Folder() (JournalFolder): the run's facts (connection and the
// database's identity, table, fields, mode, start, counts) and, for every row it wrote, the row's
// identity, the old value and the new value, in the order they were written. Only the files of
// the last KeptRuns runs are kept, and those of runs that have not ended. A run that goes on,
// and an undo that goes on, hold the run's lock (RunLock), which other processes test.
#pragma once

#include "casing/caserules.h"
#include "db/connectionsettings.h"
#include "db/databaseidentity.h"
#include "db/rowidentity.h"
#include "db/tableref.h"
#include "journal/journalerror.h"
#include "journal/runlock.h"

#include <QDateTime>
#include <QStringList>
#include <optional>

struct JournalRun {
    qint64 id = 0; // orders the runs: a later run has a greater id
    QString file;  // the run's journal file
    QString server, port, database;
    DatabaseIdentity databaseIdentity; // not known() for a run recorded before the journal kept it
    TableRef table;
    QStringList fields;
    CaseMode mode = CaseMode::Upper;
    QStringList exceptionWords;
    bool nameRules = false;      // off for a run recorded before the journal kept it
    bool leaveMixedCase = false; // mixed-case values were left as written
    QStringList keptValues;      // values that stayed as they were at the user's choice
    QString condition;           // the rows it changed, as the user wrote it; empty for all
    QString language;            // the code of the language's rules; empty for Any
    QDateTime started;           // UTC
    RowIdentity identity;
    qint64 rowsRead = 0, valuesChanged = 0, rowsWritten = 0, valuesNotWritten = 0;
    qint64 rowsRefused = 0;     // rows the server refused
    qint64 rowsLeftChanged = 0; // rows left because another client changed them meanwhile
    qint64 valuesLeftMixed = 0, valuesKept = 0; // values the options left as written
    bool ended = false;      // End() was called: the run's process knew how it ended
    bool endedWhole = false; // End() was told that the run ended whole
    bool stopped = false;    // it ended early because its user stopped it
    QString failure;         // what ended it early when it failed: the first error's text
    bool undone = false;
    qint64 rowsRecorded = 0; // rows the journal holds as written; read back
    // Rows of chunks whose commit on the server did not say how it went (the connection was lost
    // as it committed): written or not, which the undo settles when it meets them. Read back.
    qint64 rowsPending = 0;
    qint64 rowsRestoredEarlier = 0; // by undos of the run that ended before they were complete
    // A process works on the run's journal now: the run itself, or an undo of it (RunLock).
    std::optional<RunLock::Holder> holder;

    // The run goes on in a process of its own now: it may not be undone, nor its file removed.
    bool inProgress() const { return holder && holder->work == RunLock::Work::Run; }
};

// A file of the journal's folder: the run it holds, or why it cannot be read.
struct JournalEntry {
    qint64 id = 0;
    QString file;
    std::optional<JournalRun> run;
    QString
        damage; // why the file cannot be read, when run is none: SQLite's or the journal's words

    // A file that cannot be read while a run makes it is that run's, not yet whole.
    bool beingMade() const { return !run && RunLock::HolderOf(file).has_value(); }
};

// The newest journal cannot be read: which run is the last one is not known, and no undo guesses
// it. Carries the file and the reason for the messages of the window and the command line.
class UnreadableJournal : public JournalError
{
public:
    UnreadableJournal(const QString &file, const QString &why)
        : JournalError(Action::Reading, file + QStringLiteral(": ") + why), file_(file), why_(why)
    {
    }
    const QString &file() const { return file_; }
    const QString &why() const { return why_; }

private:
    QString file_, why_;
};

class ChangeJournal
{
public:
    static constexpr int KeptRuns = 20;

    // $XDG_DATA_HOME/Recasor (by default ~/.local/share/Recasor).
    static QString Folder();

    // Makes the run's file, takes its lock for the run (held in `lock` until the run ends) and
    // records its facts (all but id, file, the counts, endedWhole and undone; started is now
    // when not set), then removes the files of the oldest runs beyond the last KeptRuns, but
    // never one that has not ended. Returns the run with id and file set. Throws JournalError
    // when the folder or the file cannot be written.
    static JournalRun Begin(JournalRun run, RunLock &lock);

    // Records the run's counts and that it ended, whole or not. Throws JournalError.
    static void End(const JournalRun &run);

    // The newest run of this server, port and database that wrote rows and is not undone, and
    // whose database's identity is `current`; a run recorded without identity is matched by
    // server, port and name alone. A run that goes on still counts: whoever wants to undo it
    // must wait (inProgress()). Throws UnreadableJournal when a file newer than that run cannot
    // be read: it may hold the database's last run.
    static std::optional<JournalRun> Last(const ConnectionSettings &settings,
                                          const DatabaseIdentity &current);
    // The same with the identity of the database the settings name, read from the server when
    // a run of that name is on record. Throws DbError when it cannot be read.
    static std::optional<JournalRun> Last(const ConnectionSettings &settings);

    // Every run on record whose file can be read, newest first.
    static QList<JournalRun> Runs();
    // Every file of the folder, newest first: the runs and the files that cannot be read.
    static QList<JournalEntry> Entries();

    // The run of that id when it is a run of the database the settings name, matched as Last()
    // matches (undone or not); none when there is no such run. Throws UnreadableJournal when
    // the run's file cannot be read, DbError when the database's identity cannot be read.
    static std::optional<JournalRun> Run(qint64 id, const ConnectionSettings &settings);

    // Whether the limit of kept runs removed the run of that id.
    static bool RemovedByLimit(qint64 id);

    // Records that the run was undone, so that Last() offers the run before it. Throws
    // JournalError.
    static void MarkUndone(const JournalRun &run);

    // The run that a journal file holds; throws JournalError.
    static JournalRun Read(const QString &file);
};
