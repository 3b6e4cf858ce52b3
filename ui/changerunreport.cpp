#include "ui/changerunreport.h"

#include "casing/caselist.h"
#include "casing/wordexceptions.h"
#include "run/changeruntexts.h"
#include "ui/messages.h"

#include <QTreeWidget>

namespace {

const QString UndoName = QStringLiteral("Undo Last Change Run");

} // namespace

int ChangeRunReportLine(ChangeRunStep step, std::optional<CaseMode> mode)
{
    switch (step) {
    case ChangeRunStep::Session:
        return 114;
    case ChangeRunStep::Source:
        return 116;
    case ChangeRunStep::Write:
        return CaseModeOf(mode.value_or(CaseModes().first().mode)).writeStep;
    case ChangeRunStep::None:
        break;
    }
    return 0;
}

void ReportChangeRun(Messages &messages, const QString &window, const ChangeRunSummary &summary,
                     std::optional<CaseMode> mode)
{
    // A run that was stopped says so first; one that failed says why first, and then how far it
    // got (a failure before the first write has nothing to take back).
    if (summary.stopped)
        messages.info(EndedEarlyText(QStringLiteral("was stopped"), summary.rowsWritten, UndoName));
    if (!summary.firstError.isEmpty())
        messages.report(window, QStringLiteral("PushButton1_Click"),
                        ChangeRunReportLine(summary.firstErrorStep, mode), summary.firstError);
    if (summary.endedEarly && !summary.stopped && summary.rowsWritten > 0)
        messages.info(EndedEarlyText(QStringLiteral("ended"), summary.rowsWritten, UndoName));
    if (const QString refused = RefusedText(summary); !refused.isEmpty())
        messages.info(refused);
    if (const QString left = LeftChangedText(summary.rowsLeftChanged); !left.isEmpty())
        messages.info(left);
    if (const QString leftAlone = LeftAloneText(summary.leftAlone); !leftAlone.isEmpty())
        messages.info(leftAlone);
    for (const RelationLeft &left : summary.relationsLeft)
        messages.info(RelationLeftText(left));
    if (summary.noMode)
        messages.info(QStringLiteral("mess up"));
}

void ConvertPreviewList(QTreeWidget &list, const CaseChange &change)
{
    if (change.mode)
        ConvertCaseList(list, *change.mode, change.options().get());
}
