#include "db/driversettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <unistd.h>

namespace {

// The user's runtime folder. Without XDG_RUNTIME_DIR (under cron, say) Qt falls back to a folder
// in /tmp and warns on stderr each time; a folder of the user's own in /tmp is taken here
// quietly instead, and only while it is the user's and no one else's to read. Where that name is
// taken by another (or cannot be made), a folder of this process's own, removed at its end.
QString runtimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString folder = QDir::tempPath() + QStringLiteral("/recasor-runtime-%1").arg(getuid());
    QDir().mkpath(folder);
    const QFileInfo info(folder);
    if (info.isDir() && !info.isSymLink() && info.ownerId() == getuid() &&
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner))
        return folder;
    static QTemporaryDir own(QDir::tempPath() + QStringLiteral("/recasor-runtime-XXXXXX"));
    return own.isValid() ? own.path() : QString();
}

} // namespace

QString UsePrivateDriverSettings(const QString &systemFile)
{
    if (qEnvironmentVariableIsSet("ODBCSYSINI") || qEnvironmentVariableIsSet("ODBCINSTINI"))
        return {};
    QFile system(systemFile);
    if (!system.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(system.readAll()).split(u'\n');

    // The same entries, with both of the driver's logs off (CommLog=0, Debug=0) in the section
    // of the driver the program names: they would hold statements and connection strings.
    const QStringList logs = {QStringLiteral("CommLog"), QStringLiteral("Debug")};
    QStringList copy;
    bool inDriver = false;
    QStringList logsSet;
    auto endSection = [&] {
        for (const QString &log : logs) {
            if (inDriver && !logsSet.contains(log))
                copy << log + QStringLiteral("=0");
        }
    };
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        const QString key = trimmed.section(u'=', 0, 0).trimmed();
        const auto log = std::find_if(logs.cbegin(), logs.cend(), [&](const QString &name) {
            return key.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (trimmed.startsWith(u'[')) {
            endSection();
            inDriver = trimmed == QLatin1String("[PostgreSQL Unicode]");
            logsSet.clear();
        } else if (inDriver && log != logs.cend()) {
            copy << *log + QStringLiteral("=0");
            logsSet << *log;
            continue;
        }
        copy << line;
    }
    endSection();

    const QString base = runtimeFolder();
    if (base.isEmpty())
        return {};
    const QString folder = base + QStringLiteral("/recasor-odbc");
    if (!QDir().mkpath(folder))
        return {};
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile entries(folder + QStringLiteral("/odbcinst.ini"));
    if (!entries.open(QIODevice::WriteOnly) || entries.write(copy.join(u'\n').toUtf8()) < 0 ||
        !entries.commit())
        return {};
    // The data sources of the system stay where the manager looks for them by default.
    QFile sources(folder + QStringLiteral("/odbc.ini"));
    if (!sources.exists() && QFile::exists(QStringLiteral("/etc/odbc.ini")))
        QFile::copy(QStringLiteral("/etc/odbc.ini"), sources.fileName());
    qputenv("ODBCSYSINI", folder.toLocal8Bit());
    return folder;
}
