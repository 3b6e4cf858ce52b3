#include "cli/pgpass.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <sys/stat.h>

namespace {

// The five fields of a line, with the escapes taken out; fewer when the line has fewer.
QStringList FieldsOf(const QString &line)
{
    QStringList fields{QString()};
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'\\' && i + 1 < line.size()) {
            fields.last() += line[++i];
        } else if (line[i] == u':' && fields.size() < 5) {
            fields << QString();
        } else {
            fields.last() += line[i];
        }
    }
    return fields;
}

bool Matches(const QString &pattern, const QString &value)
{
    return pattern == QLatin1String("*") || pattern == value;
}

} // namespace

QString PgPass::DefaultFile()
{
    const QString named = qEnvironmentVariable("PGPASSFILE");
    return named.isEmpty() ? QDir::homePath() + QStringLiteral("/.pgpass") : named;
}

std::optional<QString> PgPass::Find(const QString &file, const ConnectionSettings &values,
                                    QString &warning)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(file).constData(), &status) != 0)
        return std::nullopt;
    if (!S_ISREG(status.st_mode)) {
        warning = QStringLiteral("WARNING: password file \"%1\" is not a plain file").arg(file);
        return std::nullopt;
    }
    if (status.st_mode & (S_IRWXG | S_IRWXO)) {
        warning = QStringLiteral("WARNING: password file \"%1\" has group or world access; "
                                 "permissions should be u=rw (0600) or less")
                      .arg(file);
        return std::nullopt;
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    // libpq's defaults for values left empty.
    const QString host = values.server.isEmpty() ? QStringLiteral("localhost") : values.server;
    const QString port = values.port.isEmpty() ? QStringLiteral("5432") : values.port;
    while (!in.atEnd()) {
        const QString line = QString::fromUtf8(in.readLine()).remove(u'\n').remove(u'\r');
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList f = FieldsOf(line);
        if (f.size() == 5 && Matches(f[0], host) && Matches(f[1], port) &&
            Matches(f[2], values.database) && Matches(f[3], values.user))
            return f[4];
    }
    return std::nullopt;
}
