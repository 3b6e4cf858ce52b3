#include "db/changerun.h"

int ChangeRunLine::Execute(CaseMode mode)
{
    return 148 + 10 * static_cast<int>(mode);
}

ChangeRun::ChangeRun(const ConnectionSettings &settings, const TableRef &table,
                     const QStringList &fields, std::optional<CaseMode> mode, QObject *parent)
    : QObject(parent), settings_(settings), table_(table), fields_(fields), mode_(mode)
{
}

void ChangeRun::run()
{
    ChangeRunSummary summary;
    summary.noMode = !mode_;
    summary.firstError = QStringLiteral("The change run is not built yet.");
    summary.endedEarly = true;
    emit finished(summary);
}
