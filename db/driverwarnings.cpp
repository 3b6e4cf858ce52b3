#include "db/driverwarnings.h"

#include <QString>
#include <QtGlobal>
#include <atomic>

namespace {

// The handler that was in place when the filtering one was put in front of it.
std::atomic<QtMessageHandler> next{nullptr};

bool fromTheDriver(const QString &text)
{
    // The driver's messages name its classes and function first, some in quotes.
    QStringView start(text);
    if (start.startsWith(u'"'))
        start = start.mid(1);
    return start.startsWith(u"QODBCResult::") || start.startsWith(u"QODBCDriver::");
}

void filteringHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if ((type == QtWarningMsg || type == QtDebugMsg) && fromTheDriver(text))
        return;
    if (const QtMessageHandler handler = next.load())
        handler(type, context, text);
}

} // namespace

void DriverWarnings::Install()
{
    const QtMessageHandler previous = qInstallMessageHandler(filteringHandler);
    if (previous != filteringHandler)
        next.store(previous);
}
