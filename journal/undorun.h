// The undo of a change run: writes the old values that the run's journal holds back to the rows
// that still hold exactly the value the run wrote. Rows that someone changed since, or that can
// no longer be found, are left alone and counted.
//
// A worker object for a QThread of its own, like ChangeRun: run() opens its own session and
// journal connection in that thread, reports progress by signal and ends with finished().
// requestStop() may be called from any thread; it cancels the statements in flight. Each
// statement commits on its own, so every row is either restored or as it was, never half-written.
// An undo that ends whole marks the run undone; one that was stopped, or failed, goes on where it
// ended when it is started again. An undo writes nothing into a database whose identity is not
// the one the run recorded, nor while the run goes on or another undo of it does: it holds the
// run's lock while it works.
#pragma once

#include "db/connectionsettings.h"
#include "jobs/job.h"
#include "journal/changejournal.h"

#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>

struct UndoSummary {
    qint64 rowsRestored = 0;
    qint64 rowsRestoredEarlier = 0; // by earlier undos of the run that ended early
    qint64 rowsLeftAlone = 0; // changed since the run, no longer found, or refused by the server
    // Rows of chunks whose commit the run never saw return and which the undo found unwritten.
    qint64 rowsNeverWritten = 0;
    QString firstError;      // the first failure's text, empty when none
    bool endedEarly = false; // stopped on request, or by a failure of the whole undo
    // Roles that are no superusers and own the table or its triggers, when a superuser undoes a
    // run of it: their code runs with the superuser's rights (TablePlan::untrustedOwners()).
    QStringList untrustedOwners;
};
Q_DECLARE_METATYPE(UndoSummary)

class UndoRun : public Job
{
    Q_OBJECT

public:
    UndoRun(const ConnectionSettings &settings, const JournalRun &run, QObject *parent = nullptr);

public slots:
    void run() override;

signals:
    // Before anything is written, when a superuser runs the code of roles that are not.
    void cautioned(const QStringList &untrustedOwners);
    void finished(const UndoSummary &summary);

private:
    JournalRun run_;
};
