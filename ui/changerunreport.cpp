#include "ui/changerunreport.h"

#include "casing/caselist.h"
#include "casing/wordexceptions.h"
#include "ui/messages.h"

#include <QTreeWidget>

void ReportChangeRun(Messages &messages, const QString &window, const ChangeRunSummary &summary)
{
    if (!summary.firstError.isEmpty())
        messages.report(window, QStringLiteral("PushButton1_Click"), summary.firstErrorLine,
                        summary.firstError);
    if (summary.valuesNotWritten > 0)
        messages.info(summary.valuesNotWritten == 1
                          ? QStringLiteral("1 value could not be written; it keeps its old "
                                           "letter case.")
                          : QStringLiteral("%1 values could not be written; they keep their "
                                           "old letter case.")
                                .arg(summary.valuesNotWritten));
    if (const QString leftAlone = LeftAloneText(summary.leftAlone); !leftAlone.isEmpty())
        messages.info(leftAlone);
    if (summary.noMode)
        messages.info(QStringLiteral("mess up"));
    // A run that was stopped says how far it got; one that failed has said why already.
    if (summary.endedEarly && summary.firstError.isEmpty())
        messages.info(QStringLiteral("The change run was stopped before it was complete.\n\n"
                                     "Rows written: %1\nThe other rows keep their old letter "
                                     "case; Undo Last Change Run takes back what was written.")
                          .arg(summary.rowsWritten));
}

void ConvertPreviewList(QTreeWidget &list, CaseMode mode, const QStringList &exceptionWords)
{
    const WordExceptions words(exceptionWords);
    switch (mode) {
    case CaseMode::Upper:
        UpperCaseList(list);
        break;
    case CaseMode::Lower:
        LowerCaseList(list);
        break;
    case CaseMode::Proper:
        ProperCaseList(list, &words);
        break;
    case CaseMode::Sentence:
        SentenceCaseList(list, &words);
        break;
    }
}
