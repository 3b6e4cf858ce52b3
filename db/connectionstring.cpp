#include "db/connectionstring.h"

#include "db/dberror.h"

#include <QStringList>

namespace {

// psqlODBC (13) reads Server, Port, Uid and Database up to the next ";" and keeps braces as
// part of the value, so these keys carry a value only when it holds no ";" and does not open
// with a brace (a brace there makes both the driver manager and the driver look for the
// closing one further on).
bool plainAttributeCarries(const QString &value)
{
    return !value.contains(u';') && !value.startsWith(u'{');
}

// Pwd is different: the driver takes a value in braces (with "}}" for "}") and decodes any
// other one as percent-encoding, "+" for a blank.
bool passwordNeedsBraces(const QString &value)
{
    return value.contains(u';') || value.startsWith(u'{') || value.contains(u'+') ||
           value.contains(u'%');
}

QString braced(QString value)
{
    return u'{' + value.replace(u'}', QStringLiteral("}}")) + u'}';
}

// A value of libpq's own connection syntax: in single quotes, with ' and \ escaped.
QString libpqValue(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + value + u'\'';
}

} // namespace

QString ConnectionString(const ConnectionSettings &settings, const QString &serverOptions)
{
    // A value the plain key cannot carry goes to libpq by the driver's pqopt attribute, and
    // the plain key stays empty: the driver refuses a pqopt value that contradicts a
    // non-empty key.
    QStringList libpqOptions;
    auto plain = [&](const char *libpqKey, const QString &value) {
        if (plainAttributeCarries(value))
            return value;
        libpqOptions.append(QLatin1String(libpqKey) + u'=' + libpqValue(value));
        return QString();
    };
    // One after the other: the options keep the order of the keys.
    const QString server = plain("host", settings.server);
    const QString port = plain("port", settings.port);
    const QString user = plain("user", settings.user);
    const QString database = plain("dbname", settings.database);
    const QString password =
        passwordNeedsBraces(settings.password) ? braced(settings.password) : settings.password;
    QString text = QStringLiteral("Driver={PostgreSQL Unicode};Server=") + server +
                   QStringLiteral(";Port=") + port + QStringLiteral(";Uid=") + user +
                   QStringLiteral(";Pwd=") + password + QStringLiteral(";Database=") + database;
    if (!serverOptions.isEmpty())
        libpqOptions.append(QStringLiteral("options=") + libpqValue(serverOptions));
    if (!libpqOptions.isEmpty())
        text += QStringLiteral(";pqopt=") + braced(libpqOptions.join(u' '));

    // The driver manager and the driver read the string as C text, so everything after a
    // null character would be lost, and the session could open another database.
    if (text.contains(QChar(u'\0')))
        throw DbError(QStringLiteral("A connection value contains a null character, which the "
                                     "ODBC driver cannot be given."));
    // Qt's ODBC driver takes any connection string that contains ".dsn" for the name of a
    // file data source, and the driver manager then looks for that file instead of the
    // server.
    if (text.contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
        throw DbError(QStringLiteral("A connection value contains \".dsn\", which Qt's ODBC "
                                     "driver takes for the name of a data source file."));
    return text;
}
