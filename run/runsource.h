// What a change run reads of its table before and between its passes: the table's plan, the
// fields it may write, and for each pass the snapshot its readers import and the present sizes
// of the tables to walk. A failure here concerns the source (RunFailure), unless the run was
// asked to stop (RunStopped).
#pragma once

#include "db/rowcondition.h"
#include "db/tableplan.h"
#include "db/tableref.h"
#include "run/passstatements.h"

#include <QList>
#include <QString>
#include <optional>

class CancelGroup;
class DbSession;

class RunSource
{
public:
    // The condition is the user's text; empty for every row.
    RunSource(DbSession &session, const TableRef &table, const QString &condition,
              const CancelGroup &cancel)
        : session_(session), table_(table), conditionText_(condition), cancel_(cancel)
    {
    }

    // Reads the table's plan: keeps the fields the run may write, with their kinds, and adds the
    // others to leftAlone, and has the server check the condition. Returns the oids of the
    // tables to walk by their blocks; those without blocks here are keyedRelations().
    QList<QString> plan(QList<PassField> &fields, QList<FieldKind> &leftAlone);
    // The rows of the run, as plan() found the condition.
    const RowCondition &condition() const { return condition_; }
    const TablePlan &tablePlan() const { return *plan_; }
    // The tables of the tree whose rows live on another server, to walk by a key, as plan()
    // found them; one without a usable key has an empty key.
    const QList<KeyedRelation> &keyedRelations() const { return keyed_; }
    bool utf8() const { return utf8_; }
    // TablePlan::untrustedOwners(), as plan() read them.
    const QStringList &untrustedOwners() const { return untrustedOwners_; }

    // The pass's snapshot: the readers import it, so that each row that was there when the pass
    // began is read once, even if another client moves it meanwhile. The exporting transaction
    // stays open until endSnapshot(), when the pass has read every chunk.
    QString beginSnapshot();
    void endSnapshot();

    // The names and present sizes in blocks of the tables to walk.
    QList<StoredRelation> measure(const QList<QString> &oids);

private:
    bool classify(PassField &field, QList<FieldKind> &leftAlone);

    DbSession &session_;
    const TableRef table_;
    const QString conditionText_;
    const CancelGroup &cancel_;
    RowCondition condition_;
    std::optional<TablePlan> plan_;
    QList<KeyedRelation> keyed_;
    bool utf8_ = false;
    QStringList untrustedOwners_;
};
