#include "db/driversettings.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

QString UsePrivateDriverSettings(const QString &systemFile)
{
    if (qEnvironmentVariableIsSet("ODBCSYSINI") || qEnvironmentVariableIsSet("ODBCINSTINI"))
        return {};
    QFile system(systemFile);
    if (!system.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(system.readAll()).split(u'\n');

    // The same entries, with CommLog=0 in the section of the driver the program names.
    QStringList copy;
    bool inDriver = false, logSet = false;
    auto endSection = [&] {
        if (inDriver && !logSet)
            copy << QStringLiteral("CommLog=0");
    };
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            endSection();
            inDriver = trimmed == QLatin1String("[PostgreSQL Unicode]");
            logSet = false;
        } else if (inDriver &&
                   trimmed.section(u'=', 0, 0)
                           .trimmed()
                           .compare(QLatin1String("CommLog"), Qt::CaseInsensitive) == 0) {
            copy << QStringLiteral("CommLog=0");
            logSet = true;
            continue;
        }
        copy << line;
    }
    endSection();

    const QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
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
