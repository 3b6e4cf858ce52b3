// The change run: rewrites every value of the chosen fields of a table by one case rule.
//
// A worker object for a QThread of its own: run() opens its own session in that thread,
// reports progress by signal and ends with finished(summary). requestStop() may be called
// from any thread; it cancels the statements in flight on the server, and every statement the
// run sent is either written whole or not at all.
#pragma once

#include "casing/caserules.h"
#include "db/connectionsettings.h"
#include "db/fieldkinds.h"
#include "db/tableref.h"
#include "jobs/casechange.h"
#include "jobs/job.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// What a failure of a run belongs to: opening the session, reading the table and its fields, or
// writing the converted values.
enum class ChangeRunStep { None, Session, Source, Write };

// A table of the tree whose rows the run could not all reach: a foreign table, whose rows live
// on another server, without a key to find them by, or whose server failed or refused.
struct RelationLeft {
    QString name;     // "schema"."name"
    qint64 rows = -1; // its rows left, -1 when they could not be counted (the server failed)
    QString reason;   // why: the server's text, or what the table lacks
};

// One text of the server's for rows it refused, and how many rows it refused so.
struct Refusal {
    QString text;
    qint64 rows = 0;
};

// The counts add up: rowsRead is the rows the rule leaves as they are and rowsChanging; and
// rowsChanging is rowsWritten, rowsRefused and rowsLeftChanged together, when the run ended whole
// and no other client added rows that hold a value being converted.
struct ChangeRunSummary {
    qint64 rowsRead = 0;      // rows of the table read
    qint64 rowsChanging = 0;  // rows in which the rule changes at least one field
    qint64 valuesChanged = 0; // field values (one per row and field) the rule changes
    // Values (one per row and field) the rule would change that the change's options leave as
    // written: written in mixed case, or kept at the user's choice. Not in valuesChanged.
    qint64 valuesLeftMixed = 0;
    qint64 valuesKept = 0;
    qint64 rowsWritten = 0; // rows the run wrote, each once with every field it changed
    // Rows the server refused, which keep every field as it was: a row that holds the old values
    // of one refused is not tried, and counts with it.
    qint64 rowsRefused = 0;
    // The distinct sets of old values among them.
    qint64 valuesNotWritten = 0;
    QList<Refusal> refusals; // each text of the server's, in the order first met
    // Rows left as they were because another client changed them during the run: a value
    // another client changed is never overwritten.
    qint64 rowsLeftChanged = 0;
    QString firstError;                                 // the first failure's text, empty when none
    ChangeRunStep firstErrorStep = ChangeRunStep::None; // what the failure belongs to
    bool endedEarly = false; // stopped on request, or by a failure of the whole run
    bool stopped = false;    // ended early on request (firstError may still name a value
                             // the server refused before)
    bool noMode = false;     // the mode text held no mode word: nothing was sent
    // Selected fields the run left alone: fields that do not hold text, whose text form the
    // rule would damage (json keys, enum labels), and fields that cannot be written (generated,
    // or without the right to update them). LeftAloneText() gives the closing message's lines.
    QList<FieldKind> leftAlone;
    // Tables of the tree the run did not change, each said in the closing message rather than
    // passed over in silence.
    QList<RelationLeft> relationsLeft;
    // Roles that are no superusers and own the table or its triggers, when a superuser runs it:
    // their code runs with the superuser's rights (TablePlan::untrustedOwners()).
    QStringList untrustedOwners;
};

class ChangeRun : public Job
{
    Q_OBJECT

public:
    // The word exceptions apply after Proper and Sentence, the name rules after Proper and
    // before the words (see casing/wordexceptions.h).
    ChangeRun(const ConnectionSettings &settings, const CaseChange &change,
              QObject *parent = nullptr);

    void run() override;

    // For tests: called in the run's thread after a chunk has been read and before it is
    // written.
    void setChunkReadHook(std::function<void()> hook) { chunkReadHook_ = std::move(hook); }
    // For tests: called in a writer's thread after a statement's rows are in the journal and
    // before the statement commits.
    void setRecordedHook(std::function<void()> hook) { recordedHook_ = std::move(hook); }

signals:
    // Before anything is written, when a superuser runs the code of roles that are not.
    void cautioned(const QStringList &untrustedOwners);
    void finished(const ChangeRunSummary &summary);

private:
    const CaseChange change_;
    std::function<void()> chunkReadHook_;
    std::function<void()> recordedHook_;
};
