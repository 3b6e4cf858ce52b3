// The silent connection check of the start-up and of "Next >", and the connection test's
// reason.
#include "db/canconnect.h"

#include "db/dbsession.h"

#include <QRegularExpression>
#include <QStringList>

bool CanConnect(const ConnectionSettings &settings)
{
    return !ConnectFailure(settings);
}

std::optional<QString> ConnectFailure(const ConnectionSettings &settings)
{
    // The start-up runs this before any window is usable, so an unreachable server must give
    // up within the login time-out instead of blocking for minutes.
    DbSession::Options options;
    options.loginTimeout = InteractiveLoginTimeout;
    try {
        DbSession session(settings, options);
        return std::nullopt;
    } catch (const DbError &error) {
        return ConnectFailureReason(error.text());
    }
}

QString ConnectFailureReason(const QString &text)
{
    static const QRegularExpression lead(
        QStringLiteral("^(?:\\[[^\\]]*\\]|connection to server (?:at|on) .*? failed:"
                       "|could not connect to the server;|libpq connection parameter error:"
                       "|(?:FATAL|ERROR|PANIC):)\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList lines;
    for (const QString &each : text.split(u'\n')) {
        QString line = each.trimmed();
        for (QRegularExpressionMatch match = lead.match(line); match.hasMatch();
             match = lead.match(line))
            line.remove(0, match.capturedLength());
        if (!line.isEmpty() && !lines.contains(line))
            lines << line;
    }
    return lines.isEmpty() ? text.trimmed() : lines.join(u'\n');
}
