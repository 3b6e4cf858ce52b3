// The journal of change runs: what each run wrote, kept on this machine so that a finished run
// can be taken back, even after the program was closed.
//
// One SQLite file per run, in Folder(): the run's facts (connection and the database's identity,
// table, fields, mode, start, counts) and, for every row it wrote, the row's identity, the old
// value and the new value, in the order they were written. The folder is made with mode 0700 (one
// that is there keeps the mode its user gave it) and the files with 0600, since they hold data
// of the user's tables; only the files of the last KeptRuns runs are kept.
#pragma once

#include "casing/caserules.h"
#include "db/connectionsettings.h"
#include "db/databaseidentity.h"
#include "db/rowidentity.h"
#include "db/tableref.h"
#include "journal/journalerror.h"

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
    bool nameRules = false; // off for a run recorded before the journal kept it
    QDateTime started;      // UTC
    RowIdentity identity;
    qint64 rowsRead = 0, valuesChanged = 0, rowsWritten = 0, valuesNotWritten = 0;
    bool endedWhole = false; // End() was told that the run ended whole
    bool undone = false;
    qint64 rowsRecorded = 0;        // rows the journal holds; read back, not written by the run
    qint64 rowsRestoredEarlier = 0; // by undos of the run that ended before they were complete
};

class ChangeJournal
{
public:
    static constexpr int KeptRuns = 20;

    // $XDG_DATA_HOME/Recasor (by default ~/.local/share/Recasor).
    static QString Folder();

    // Makes the run's file and records its facts (all but id, file, the counts, endedWhole and
    // undone; started is now when not set), then removes the files of all but the last KeptRuns
    // runs. Returns the run with id and file set. Throws JournalError when the folder or the file
    // cannot be written.
    static JournalRun Begin(JournalRun run);

    // Records the run's counts and whether it ended whole. Throws JournalError.
    static void End(const JournalRun &run);

    // The newest run of this server, port and database that wrote rows and is not undone, and
    // whose database's identity is `current`; a run recorded without identity is matched by
    // server, port and name alone. Files that cannot be read are passed over.
    static std::optional<JournalRun> Last(const ConnectionSettings &settings,
                                          const DatabaseIdentity &current);
    // The same with the identity of the database the settings name, read from the server when
    // a run of that name is on record. Throws DbError when it cannot be read.
    static std::optional<JournalRun> Last(const ConnectionSettings &settings);

    // Every run on record whose file can be read, newest first.
    static QList<JournalRun> Runs();

    // The run of that id when it is a run of the database the settings name, matched as Last()
    // matches (undone or not); none when there is no such run. Throws DbError when the
    // database's identity cannot be read.
    static std::optional<JournalRun> Run(qint64 id, const ConnectionSettings &settings);

    // Records that the run was undone, so that Last() offers the run before it. Throws
    // JournalError.
    static void MarkUndone(const JournalRun &run);

    // The run that a journal file holds; throws JournalError.
    static JournalRun Read(const QString &file);
};
