// The per-user store of the connection values: text values addressed by application,
// section and key. One INI file per application in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), readable and writable by its owner only, because it
// holds the database password in plain text.
#pragma once

#include <QString>

namespace SettingsKeys {
inline const QString Application = QStringLiteral("Kestrova");
inline const QString Section = QStringLiteral("Recasor");
inline const QString Server = QStringLiteral("PostgreSQLServer");
inline const QString Port = QStringLiteral("PostgreSQLPort");
inline const QString User = QStringLiteral("PostgreSQLUser");
inline const QString Password = QStringLiteral("PostgreSQLPassword");
inline const QString Database = QStringLiteral("PostgreSQLDatabase");
inline const QString DefaultServer = QStringLiteral("localhost");
inline const QString DefaultPort = QStringLiteral("5432");
} // namespace SettingsKeys

class SettingsStore
{
public:
    // The stored text, or the default when nothing is stored at that address. A stored
    // empty text is returned as it is.
    static QString Get(const QString &application, const QString &section, const QString &key,
                       const QString &defaultValue = QString());

    // Stores the text and writes the file before returning. False when it could not be written.
    static bool Save(const QString &application, const QString &section, const QString &key,
                     const QString &value);

    static QString FilePath(const QString &application);
};
