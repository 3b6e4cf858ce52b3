// The per-user store of the connection values, the word exceptions and the name rules' option:
// values addressed by application, section and key. One INI file per application in the user's
// configuration folder ($XDG_CONFIG_HOME, else ~/.config), readable and writable by its owner
// only, because it holds the database password in plain text.
#pragma once

#include <QString>
#include <QStringList>

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
// The word exceptions: a section of their own, so that the list can be edited by hand.
inline const QString ExceptionsSection = QStringLiteral("Recasor Exceptions");
inline const QString Words = QStringLiteral("Words");
// Whether the name rules follow Proper Case: "true" or "false", beside the words.
inline const QString NameRules = QStringLiteral("NameRules");
// Whether values written in mixed case are left as written: "true" or "false", beside them.
inline const QString LeaveMixedCase = QStringLiteral("LeaveMixedCase");
inline const QString Language = QStringLiteral("Language");
} // namespace SettingsKeys

class SettingsStore
{
public:
    // Without HOME (a service, some cron set-ups) the home folder is the user's entry in the
    // password database, as libpq takes it: the settings and the journal go there, not under the
    // root of the file system. To be called before the first path is asked for.
    static void TakeHomeFromThePasswordDatabase();

    // The stored text, or the default when nothing is stored at that address. A stored
    // empty text is returned as it is.
    static QString Get(const QString &application, const QString &section, const QString &key,
                       const QString &defaultValue = QString());

    // Stores the text and writes the file before returning. False when it could not be written.
    static bool Save(const QString &application, const QString &section, const QString &key,
                     const QString &value);

    // A list of texts, stored as QSettings writes a string list ("McDonald, O'Neil, USA");
    // empty when nothing is stored. A single text stored there is a list of one.
    static QStringList GetList(const QString &application, const QString &section,
                               const QString &key);

    // Stores the list and writes the file before returning; an empty list removes the key.
    // False when it could not be written.
    static bool SaveList(const QString &application, const QString &section, const QString &key,
                         const QStringList &values);

    // The word exceptions as stored, one word a text.
    static QStringList ExceptionWords();
    static bool SaveExceptionWords(const QStringList &words);

    // The name rules' option: off unless "true" is stored, in any mix of capitals.
    static bool NameRules();
    static bool SaveNameRules(bool on);

    // The option to leave mixed-case values as written: off unless "true" is stored.
    static bool LeaveMixedCase();
    static bool SaveLeaveMixedCase(bool on);
    // The language's code (CaseLanguageRow::code): empty, or one the program does not know, is
    // Any Language.
    static QString LanguageCode();
    static bool SaveLanguageCode(const QString &code);

    static QString FilePath(const QString &application);
};
