#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file is made private before the first value is written into it, and kept private if
// something else widened its mode; QSettings rewrites it through a temporary file that takes
// over the mode of the file it replaces. Only a regular file gets that mode: a folder or
// anything else that stands at the path keeps its own, and nothing is saved there.
bool makePrivate(const QString &path)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return false;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnly)) {
            file.close();
            return true;
        }
    }
    return QFileInfo(path).isFile() && file.setPermissions(OwnerOnly);
}

} // namespace

QString SettingsStore::FilePath(const QString &application)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           application + QStringLiteral(".ini");
}

QString SettingsStore::Get(const QString &application, const QString &section, const QString &key,
                           const QString &defaultValue)
{
    const QString path = FilePath(application);
    // Anything but a file holds no values, and reading a pipe would wait for ever.
    if (!QFileInfo(path).isFile())
        return defaultValue;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    return settings.contains(key) ? settings.value(key).toString() : defaultValue;
}

bool SettingsStore::Save(const QString &application, const QString &section, const QString &key,
                         const QString &value)
{
    const QString path = FilePath(application);
    if (!makePrivate(path))
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError && makePrivate(path);
}
