#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <functional>

#include <pwd.h>
#include <unistd.h>

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

// QSettings writes a blank in a section name as "%20" ("[Recasor%20Exceptions]"). The file is
// meant to be read and edited by people as well, so such a section's heading is written back
// with its blank; QSettings reads both forms as the same section. The file is replaced whole,
// keeping its mode, or left as it is.
void keepBlanksInSectionNames(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    bool changed = false;
    for (const QString &section : {SettingsKeys::ExceptionsSection}) {
        const QByteArray plain = '[' + section.toUtf8() + ']';
        const QByteArray escaped = QByteArray(plain).replace(' ', "%20");
        for (QByteArray &line : lines) {
            if (line == escaped) {
                line = plain;
                changed = true;
            }
        }
    }
    if (!changed)
        return;
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly) && out.write(lines.join('\n')) >= 0)
        out.commit();
}

// Makes the change in the section and writes the file before returning.
bool write(const QString &application, const QString &section,
           const std::function<void(QSettings &)> &change)
{
    const QString path = SettingsStore::FilePath(application);
    if (!makePrivate(path))
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    change(settings);
    settings.endGroup();
    settings.sync();
    keepBlanksInSectionNames(path);
    return settings.status() == QSettings::NoError && makePrivate(path);
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
    return write(application, section, [&](QSettings &settings) { settings.setValue(key, value); });
}

QStringList SettingsStore::GetList(const QString &application, const QString &section,
                                   const QString &key)
{
    const QString path = FilePath(application);
    if (!QFile::exists(path))
        return {};
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    return settings.value(key).toStringList();
}

bool SettingsStore::SaveList(const QString &application, const QString &section, const QString &key,
                             const QStringList &values)
{
    return write(application, section, [&](QSettings &settings) {
        // QSettings would write an empty list as "@Invalid()".
        if (values.isEmpty())
            settings.remove(key);
        else
            settings.setValue(key, values);
    });
}

QStringList SettingsStore::ExceptionWords()
{
    return GetList(SettingsKeys::Application, SettingsKeys::ExceptionsSection, SettingsKeys::Words);
}

bool SettingsStore::SaveExceptionWords(const QStringList &words)
{
    return SaveList(SettingsKeys::Application, SettingsKeys::ExceptionsSection, SettingsKeys::Words,
                    words);
}

bool SettingsStore::NameRules()
{
    return Get(SettingsKeys::Application, SettingsKeys::ExceptionsSection, SettingsKeys::NameRules)
               .trimmed()
               .compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

bool SettingsStore::SaveNameRules(bool on)
{
    return Save(SettingsKeys::Application, SettingsKeys::ExceptionsSection, SettingsKeys::NameRules,
                on ? QStringLiteral("true") : QStringLiteral("false"));
}

bool SettingsStore::LeaveMixedCase()
{
    return Get(SettingsKeys::Application, SettingsKeys::ExceptionsSection,
               SettingsKeys::LeaveMixedCase)
               .trimmed()
               .compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

bool SettingsStore::SaveLeaveMixedCase(bool on)
{
    return Save(SettingsKeys::Application, SettingsKeys::ExceptionsSection,
                SettingsKeys::LeaveMixedCase,
                on ? QStringLiteral("true") : QStringLiteral("false"));
}

QString SettingsStore::LanguageCode()
{
    return Get(SettingsKeys::Application, SettingsKeys::ExceptionsSection, SettingsKeys::Language)
        .trimmed();
}

bool SettingsStore::SaveLanguageCode(const QString &code)
{
    return Save(SettingsKeys::Application, SettingsKeys::ExceptionsSection, SettingsKeys::Language,
                code);
}

void SettingsStore::TakeHomeFromThePasswordDatabase()
{
    if (!qEnvironmentVariableIsEmpty("HOME"))
        return;
    if (const passwd *entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
        qputenv("HOME", entry->pw_dir);
}
