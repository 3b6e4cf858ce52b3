// The one report of an unexpected failure: which handler, which step, what went wrong.
#pragma once

#include <QString>

inline const QString ErrorReportTitle = QStringLiteral("Application Error");
inline const QString SupportAddress = QStringLiteral("support@kestrova.com");

// "in Quorlin2021/08/31.<window>.<handler> " — the handler path as the report shows it.
QString HandlerPath(const QString &window, const QString &handler);

// The failure text; CR LF; the handler path, "at line " and the step; CR CR; the support line.
QString ErrorReportText(const QString &window, const QString &handler, int line,
                        const QString &failure);
