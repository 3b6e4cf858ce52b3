// Preview of a change run: what a run of these fields by this rule would change, counted by
// reading the table without writing anything.
//
// A worker object for a QThread of its own, like ChangeRun: run() opens its own session in that
// thread, reports progress by signal and ends with finished(result). requestStop() may be called
// from any thread; it cancels the statement the server is running, so the preview ends within
// moments even in the middle of a long read.
#pragma once

#include "casing/caserules.h"
#include "db/connectionsettings.h"
#include "db/fieldkinds.h"
#include "db/fieldpreview.h"
#include "db/tableref.h"
#include "jobs/casechange.h"
#include "jobs/job.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

// The changes listed, and the characters of a value they keep (one more than a list shows, so
// that it can tell a value that goes on).
inline constexpr int PreviewChangeLimit = 1000;
inline constexpr int PreviewValueChars = PreviewTextLimit;

struct FieldCounts {
    QString name;
    qint64 rowsRead = 0;
    qint64 rowsChanging = 0;   // rows whose value the rule changes
    qint64 valuesChanging = 0; // distinct values the rule changes
    // Rows whose value the rule would change and the options leave as written: written in
    // mixed case, or kept at the user's choice.
    qint64 valuesLeftMixed = 0;
    qint64 valuesKept = 0;
    // Distinct values the language's rules make longer ("SS" for "ß", a dot above added).
    qint64 valuesGrowing = 0;
};

struct PreviewChange {
    QString field;
    QString oldValue; // at most PreviewValueChars + 1 characters: the start of a longer value
    QString newValue; // the same start of the converted value
    qint64 rows = 0;
    // Converted, or left as written by the options (newValue is then oldValue).
    LeftAs left = LeftAs::Converted;
};

struct PreviewResult {
    TableRef table;
    QStringList fields; // the fields asked for, in their order
    std::optional<CaseMode> mode;
    bool nameRules = false;                    // the name rules followed Proper Case
    QString condition;                         // the rows read, as the user wrote it; empty for all
    CaseLanguage language = CaseLanguage::Any; // whose rules the mode followed
    QList<FieldCounts> counted;                // the fields the rule may change, in the same order
    QList<FieldKind> leftAlone;                // the fields a run leaves alone, in the same order
    QList<PreviewChange> changes; // the most frequent first, at most PreviewChangeLimit
    QString error;                // the failure that ended the preview, empty when none
    bool stopped = false;         // ended on request
    bool noMode = false;          // the mode text held no mode word: nothing was read
    QString exportFile;           // of a preview that wrote every change to a file
    qint64 exported = 0;          // the changes it wrote there

    qint64 valuesChanging() const; // over all counted fields
    qint64 valuesGrowing() const;  // over all counted fields
};

// "3 values would grow longer …", or empty for none.
QString GrowingText(qint64 values);
Q_DECLARE_METATYPE(PreviewResult)

class ChangePreview : public Job
{
    Q_OBJECT

public:
    // The word exceptions apply after Proper and Sentence, the name rules after Proper, as in a
    // run. With an export file, the preview writes every change there as CSV (field, old value,
    // new value, rows; the most rows first) instead of counting and listing the most frequent.
    ChangePreview(const ConnectionSettings &settings, const CaseChange &change,
                  const QString &exportFile = QString(), QObject *parent = nullptr);

    void run() override;

signals:
    void finished(const PreviewResult &result);

private:
    const CaseChange change_;
    const QString exportFile_;
};
