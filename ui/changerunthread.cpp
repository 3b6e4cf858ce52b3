#include "ui/changerunthread.h"

ChangeRunThread::ChangeRunThread(QObject *parent) : QObject(parent) {}

ChangeRunThread::~ChangeRunThread()
{
    stopAndWait();
}

bool ChangeRunThread::start(const ConnectionSettings &settings, const CaseChange &change)
{
    if (runner_.running())
        return false;
    runner_.adopt(new ChangeRun(settings, change), this);
    runner_.forward(&ChangeRun::progress, this, [this](int percent) { emit progress(percent); });
    runner_.forward(&ChangeRun::cautioned, this,
                    [this](const QStringList &owners) { emit cautioned(owners); });
    runner_.forward(&ChangeRun::finished, this, [this](const ChangeRunSummary &summary) {
        runner_.release();
        emit finished(summary);
    });
    runner_.start();
    return true;
}
