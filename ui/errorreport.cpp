#include "ui/errorreport.h"

QString HandlerPath(const QString &window, const QString &handler)
{
    return QStringLiteral("in Quorlin2021/08/31.") + window + u'.' + handler + u' ';
}

QString ErrorReportText(const QString &window, const QString &handler, int line,
                        const QString &failure)
{
    return failure + QStringLiteral("\r\n") + HandlerPath(window, handler) +
           QStringLiteral("at line ") + QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + SupportAddress;
}
