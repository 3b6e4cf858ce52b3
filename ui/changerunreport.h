// What the main window tells the user when a change run has ended, and the conversion of its
// preview list to the run's rule: kept apart from the window, which only says when.
#pragma once

#include "casing/caserules.h"
#include "run/changerun.h"

#include <QStringList>
#include <optional>

class Messages;
class QTreeWidget;

// A stopped run's rows written; the run's failure report (handler "PushButton1_Click", the step
// the failure belongs to) and, after a failure that ended the run, the rows written; then the
// count of values that could not be written, the fields left alone, and "mess up" for a mode
// text without a mode word.
void ReportChangeRun(Messages &messages, const QString &window, const ChangeRunSummary &summary,
                     std::optional<CaseMode> mode);

// The handler's line label of the step a run's failure belongs to: 114 the session, 116 the
// source, else the mode's Execute label (148, 158, 168, 178).
int ChangeRunReportLine(ChangeRunStep step, std::optional<CaseMode> mode);

// Converts the texts of the list in place as the change converts values: its rule, name rules
// and word exceptions, leaving what it leaves as written.
void ConvertPreviewList(QTreeWidget &list, const CaseChange &change);
