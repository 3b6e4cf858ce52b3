#include "ui/changerunthread.h"

ChangeRunThread::ChangeRunThread(QObject *parent) : QObject(parent) {}

ChangeRunThread::~ChangeRunThread()
{
    stopAndWait();
}

bool ChangeRunThread::start(const ConnectionSettings &settings, const TableRef &table,
                            const QStringList &fields, std::optional<CaseMode> mode,
                            const QStringList &exceptionWords, bool nameRules)
{
    if (runner_.running())
        return false;
    runner_.adopt(new ChangeRun(settings, table, fields, mode, nullptr, exceptionWords, nameRules),
                  this);
    runner_.forward(&ChangeRun::progress, this, [this](int percent) { emit progress(percent); });
    runner_.forward(&ChangeRun::finished, this, [this](const ChangeRunSummary &summary) {
        runner_.release();
        emit finished(summary);
    });
    runner_.start();
    return true;
}
